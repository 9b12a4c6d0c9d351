#pragma once

#include <QPushButton>
#include <QString>

// The push button of title bars and of the main window's panel buttons. Besides
// the usual painting it can draw a marker bar on its left edge and a caption in
// its bottom 21 pixels (the panel buttons use border images with no room for a
// normal button text).
class TPushButton : public QPushButton
{
    Q_OBJECT
public:
    explicit TPushButton(QWidget *parent = nullptr);

    void setShowMarker(bool show);
    bool markerShown() const { return m_showMarker; }
    void setShowText(bool show);
    bool textShown() const { return m_showText; }
    // The caption drawn by showText, not QPushButton's own text.
    void setText(const QString &text);
    QString drawnText() const { return m_text; }

    // Style sheet of a title-bar button: border images from ":/images/common/"
    // for the normal and the hover state.
    static QString titleButtonStyle(const QString &normalImage, const QString &hoverImage);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    bool m_showMarker = false;
    bool m_showText = false;
    QString m_text;
};
