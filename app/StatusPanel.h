#pragma once

#include <QFrame>
#include <QString>
#include <QStringList>

// One panel of the status bar. A text wider than the panel wraps at its
// blanks onto at most KLignesMax lines, so that the figure at the end of a
// sentence (an estimate, a node's name) is read whole; beyond that it is cut
// with "…", the whole text in the tooltip: a long message (a failure on a
// long path) must never widen the window. The status bar takes the height
// of the lines (LignesChangees). The text is placed so that its lowest
// strokes (underscores) and its accents stay inside the panel.
class TStatusPanel : public QFrame
{
    Q_OBJECT

public:
    explicit TStatusPanel(QWidget *aParent = nullptr);

    const QString &Text() const { return FText; }
    // A new text drops the details of the previous one.
    void SetText(const QString &aText);
    // Rich text shown in the tooltip below the whole text, until the text
    // changes: what lies behind a short message.
    void SetDetails(const QString &aHtml);
    const QString &Details() const { return FDetails; }
    static constexpr int KLignesMax = 3;
    // The text as drawn at the panel's current width, its lines joined by "\n".
    QString TexteAffiche() const;
    int Lignes() const { return FLignes; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void LignesChangees(int aLignes);

protected:
    void paintEvent(QPaintEvent *aEvent) override;
    void resizeEvent(QResizeEvent *aEvent) override;

private:
    QStringList LignesAffichees() const;
    int HauteurVoulue() const;
    void RevoitLignes();

    QString FText;
    QString FDetails;
    int FLignes = 1;
};
