#include "app/StatusPanel.h"

#include <QPainter>

#include <algorithm>

namespace {

constexpr int KRetrait = 2; // pixels between the frame and the text

} // namespace

TStatusPanel::TStatusPanel(QWidget *aParent) : QFrame(aParent)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setLineWidth(1);
}

void TStatusPanel::SetText(const QString &aText)
{
    if (aText == FText)
        return;
    FText = aText;
    FDetails.clear();
    setToolTip(aText);
    RevoitLignes();
    update();
}

void TStatusPanel::SetDetails(const QString &aHtml)
{
    FDetails = aHtml;
    if (aHtml.isEmpty()) {
        setToolTip(FText);
        return;
    }
    QString texte = FText.toHtmlEscaped();
    texte.replace(QStringLiteral("\r\n"), QStringLiteral("<br>")).replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    setToolTip(QStringLiteral("<p>%1</p>%2").arg(texte, aHtml));
}

QStringList TStatusPanel::LignesAffichees() const
{
    // Our texts may hold CR LF; the panel wraps at blanks only.
    QString texte = FText;
    texte.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QFontMetrics fm = fontMetrics();
    const int largeur = contentsRect().width() - 2 * KRetrait;
    QStringList lignes;
    QString courante;
    for (const QString &mot : texte.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString essai = courante.isEmpty() ? mot : courante + QLatin1Char(' ') + mot;
        if (courante.isEmpty() || fm.horizontalAdvance(essai) <= largeur) {
            courante = essai;
            continue;
        }
        lignes << courante;
        courante = mot;
    }
    if (!courante.isEmpty() || lignes.isEmpty())
        lignes << courante;
    if (lignes.size() > KLignesMax) {
        const QString reste = lignes.mid(KLignesMax - 1).join(QLatin1Char(' '));
        lignes = lignes.mid(0, KLignesMax - 1) << reste;
    }
    for (QString &ligne : lignes)
        ligne = fm.elidedText(ligne, Qt::ElideRight, largeur);
    return lignes;
}

QString TStatusPanel::TexteAffiche() const
{
    return LignesAffichees().join(QLatin1Char('\n'));
}

void TStatusPanel::RevoitLignes()
{
    const int lignes = int(LignesAffichees().size());
    if (lignes == FLignes)
        return;
    FLignes = lignes;
    // The status bar lays its panels out by their size hints.
    updateGeometry();
    emit LignesChangees(lignes);
}

void TStatusPanel::resizeEvent(QResizeEvent *aEvent)
{
    QFrame::resizeEvent(aEvent);
    RevoitLignes();
}

int TStatusPanel::HauteurVoulue() const
{
    if (FLignes <= 1)
        return fontMetrics().height() + 2 * frameWidth();
    return FLignes * fontMetrics().lineSpacing() + 2 * frameWidth();
}

QSize TStatusPanel::sizeHint() const
{
    return QSize(50, HauteurVoulue());
}

QSize TStatusPanel::minimumSizeHint() const
{
    return QSize(2 * (frameWidth() + KRetrait), HauteurVoulue());
}

void TStatusPanel::paintEvent(QPaintEvent *aEvent)
{
    QFrame::paintEvent(aEvent);
    QPainter painter(this);
    const QFontMetrics fm = fontMetrics();
    const QRect panneau = rect();
    const QStringList lignes = LignesAffichees();
    if (lignes.size() > 1) {
        // The bar was made as high as the lines: from the top, one per line.
        int base = contentsRect().top() + fm.ascent();
        for (const QString &ligne : lignes) {
            painter.drawText(QPoint(contentsRect().left() + KRetrait, base), ligne);
            base += fm.lineSpacing();
        }
        return;
    }
    // The status bar leaves the panel barely the font's height: the text
    // may lay over the frame's lines rather than lose the top of an
    // accent or an underscore. Centred on the whole panel; when the panel is
    // shorter than the font, the descent is kept.
    int base = panneau.top() + (panneau.height() - fm.height()) / 2 + fm.ascent();
    base = std::min(base, panneau.bottom() + 1 - fm.descent());
    painter.drawText(QPoint(contentsRect().left() + KRetrait, base), lignes.value(0));
}
