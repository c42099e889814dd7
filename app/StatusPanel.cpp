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

QString TStatusPanel::TexteAffiche() const
{
    // Our texts may hold CR LF; the panel has one line.
    QString ligne = FText;
    ligne.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return fontMetrics().elidedText(ligne, Qt::ElideRight, contentsRect().width() - 2 * KRetrait);
}

QSize TStatusPanel::sizeHint() const
{
    return QSize(50, fontMetrics().height() + 2 * frameWidth());
}

QSize TStatusPanel::minimumSizeHint() const
{
    return QSize(2 * (frameWidth() + KRetrait), fontMetrics().height() + 2 * frameWidth());
}

void TStatusPanel::paintEvent(QPaintEvent *aEvent)
{
    QFrame::paintEvent(aEvent);
    QPainter painter(this);
    // The status bar leaves the panel barely the font's height: the text
    // may lay over the frame's lines rather than lose the top of an
    // accent or an underscore. Centred on the whole panel; when the panel is
    // shorter than the font, the descent is kept.
    const QFontMetrics fm = fontMetrics();
    const QRect panneau = rect();
    int base = panneau.top() + (panneau.height() - fm.height()) / 2 + fm.ascent();
    base = std::min(base, panneau.bottom() + 1 - fm.descent());
    painter.drawText(QPoint(contentsRect().left() + KRetrait, base), TexteAffiche());
}
