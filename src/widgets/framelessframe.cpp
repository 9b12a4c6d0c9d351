#include "widgets/framelessframe.h"

#include "widgets/tpushbutton.h"
#include "widgets/tradiuswidget.h"
#include "widgets/translucentwidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

FramelessFrame::FramelessFrame(QWidget *window, const QBrush &brush, const QColor &background,
                               bool fixed)
    : backgroundColor(background), titleBrush(brush), fixedSize(fixed), m_window(window)
{
    window->setAttribute(Qt::WA_TranslucentBackground);

    for (int code = 0; code < 8; ++code) {
        auto *strip = new TranslucentWidget(code, window, fixedSize, shadowWidth, window);
        strip->setObjectName(QStringLiteral("resizeStrip%1").arg(code));
        borderWidgets << strip;
    }

    auto *outer = new QVBoxLayout(window);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto row = [outer]() {
        auto *layout = new QHBoxLayout;
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        outer->addLayout(layout);
        return layout;
    };

    QHBoxLayout *top = row();
    top->addWidget(borderWidgets[4]);
    top->addWidget(borderWidgets[0]);
    top->addWidget(borderWidgets[5]);

    auto *body = new QWidget(window);
    body->setObjectName(QStringLiteral("frameBody"));
    body->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QHBoxLayout *middle = row();
    middle->addWidget(borderWidgets[1]);
    middle->addWidget(body, 1);
    middle->addWidget(borderWidgets[3]);
    outer->setStretch(1, 1);

    QHBoxLayout *bottom = row();
    bottom->addWidget(borderWidgets[6]);
    bottom->addWidget(borderWidgets[2]);
    bottom->addWidget(borderWidgets[7]);

    auto *bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    bodyLayout->setSpacing(0);

    titleBar = new TRadiusWidget(titleBrush, cornerRadius, body);
    titleBar->setObjectName(QStringLiteral("titleBar"));
    titleBar->setOwner(window, shadowWidth, shadowWidth);
    bodyLayout->addWidget(titleBar);

    contentWidget = new QWidget(body);
    contentWidget->setObjectName(QStringLiteral("mMainWidget"));
    contentWidget->setAttribute(Qt::WA_TranslucentBackground);
    auto *contentLayout = new QVBoxLayout(contentWidget);
    contentLayout->setContentsMargins(0, 0, 0, 2);
    contentLayout->setSpacing(0);
    bodyLayout->addWidget(contentWidget, 1);

    titleLabel = new QLabel(titleBar);
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    titleLabel->setStyleSheet(
        QStringLiteral(".QLabel {color:#fff;font-size:10pt;font-weight:bold;}"));
}

void FramelessFrame::addContentWidget(QWidget *widget)
{
    contentWidget->layout()->addWidget(widget);
}

void FramelessFrame::paintFrame(const QRect &dirty)
{
    QPainter painter(m_window);
    if (m_window->isMaximized()) {
        painter.fillRect(dirty, backgroundColor);
        return;
    }
    // A child's repaint (a progress bar, a label) repaints the window under
    // it. Away from the rounded corners and the shadow's rings that is plain
    // background: no antialiased path over the whole window each time.
    const QRect window = m_window->rect();
    const int edge = shadowWidth + 1;
    const int corner = edge + cornerRadius;
    if (window.adjusted(corner, edge, -corner, -edge).contains(dirty) ||
        window.adjusted(edge, corner, -edge, -corner).contains(dirty)) {
        painter.fillRect(dirty, backgroundColor);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = m_window->rect();

    QPainterPath body;
    body.setFillRule(Qt::WindingFill);
    body.addRoundedRect(outer.adjusted(shadowWidth, shadowWidth, -shadowWidth, -shadowWidth),
                        cornerRadius, cornerRadius);
    painter.fillPath(body, backgroundColor);

    // Rings from the body outwards, fading, with growing corner radii.
    painter.setBrush(Qt::NoBrush);
    for (int c = 0; c < shadowWidth; ++c) {
        const int alpha = c < shadowAlphas.size() ? shadowAlphas[c] : 0;
        painter.setPen(QColor(0, 0, 0, alpha));
        const int inset = shadowWidth - c;
        const qreal radius = cornerRadius * (1 + c / 2.0);
        painter.drawRoundedRect(outer.adjusted(inset, inset, -inset, -inset), radius, radius);
    }
}

void FramelessFrame::toggleMaximized()
{
    if (fixedSize)
        return;
    const bool maximize = !m_window->isMaximized();
    if (maximize)
        m_window->showMaximized();
    else
        m_window->showNormal();
    titleBar->setRadius(maximize ? 0 : cornerRadius);
    for (QWidget *strip : qAsConst(borderWidgets))
        strip->setVisible(!maximize);
    titleBar->update();
    updateMaximizeButtonStyle();
}

void FramelessFrame::updateMaximizeButtonStyle()
{
    if (!maximizeButton)
        return;
    if (m_window->isMaximized())
        maximizeButton->setStyleSheet(
            TPushButton::titleButtonStyle(QStringLiteral("maximize_transparent_h.png"),
                                          QStringLiteral("maximize_halftransparent_h.png")));
    else
        maximizeButton->setStyleSheet(
            TPushButton::titleButtonStyle(QStringLiteral("normal_transparent_h.png"),
                                          QStringLiteral("normal_halftransparent_h.png")));
}
