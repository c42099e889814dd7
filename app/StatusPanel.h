#pragma once

#include <QFrame>
#include <QString>

// One panel of the status bar. Its text is drawn on one line and cut with
// "…" when the panel is too narrow, the whole text in the tooltip: a long
// message (a failure on a long path) must never widen the window. The text
// is placed so that its lowest strokes (underscores) and its accents stay
// inside the panel.
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
    // The text as drawn at the panel's current width.
    QString TexteAffiche() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *aEvent) override;

private:
    QString FText;
    QString FDetails;
};
