#include "app/MessageBoxes.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

// Our texts carry CR LF line breaks; a label wants plain LF.
QString pourAffichage(QString aTexte)
{
    return aTexte.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

void MessageErreur(QWidget *aParent, const QString &aTexte)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Erreur"), pourAffichage(aTexte), QMessageBox::NoButton,
                    aParent);
    box.setTextFormat(Qt::PlainText);
    QPushButton *ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

bool ConfirmeAvertissement(QWidget *aParent, const QString &aTexte)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Avertissement"), pourAffichage(aTexte),
                    QMessageBox::Ok | QMessageBox::Cancel, aParent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    return box.exec() == QMessageBox::Ok;
}
