#include "settings/SettingsView.h"

#include "settings/AboutView.h"
#include "settings/BlocklistSettingsView.h"
#include "settings/FiltersSettingsView.h"
#include "settings/FocusRing.h"
#include "settings/GeneralSettingsView.h"
#include "settings/NotchShelfSettingsView.h"
#include "settings/RecordingSettingsView.h"
#include "settings/ScreenshotSettingsView.h"
#include "settings/SettingsStyle.h"
#include "settings/TabButton.h"
#include "ui/Theme.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QVBoxLayout>

SettingsView::SettingsView(const SettingsWindowManager::Needs& needs, QWidget* parent)
    : VisualEffectView(Material::hudWindow, BlendingMode::behindWindow, parent)
    , m_needs(needs)
    , m_focusRing(new FocusRing(this))
{
    setFixedSize(contentWidth, contentHeight);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(16, 12, 16, 10);
    bar->setSpacing(2);
    bar->addStretch(1);
    for (const SettingsTab tab : SettingsTab::allCases()) {
        auto* button = new TabButton(tab.rawValue(), tab.symbol(), this);
        connect(button, &TabButton::clicked, this, [this, tab] { selectTab(tab); });
        bar->addWidget(button);
        m_buttons << button;
    }
    bar->addStretch(1);
    column->addLayout(bar);

    auto* separator = new QWidget(this);
    separator->setFixedHeight(1);
    separator->setAutoFillBackground(true);
    QPalette line = separator->palette();
    line.setColor(QPalette::Window, SettingsStyle::primary(0.08));
    separator->setPalette(line);
    column->addWidget(separator);

    m_content = new QVBoxLayout;
    m_content->setContentsMargins(0, 0, 0, 0);
    column->addLayout(m_content, 1);

    showPage(m_selected);
    m_buttons[0]->setSelected(true);
}

void SettingsView::showPage(SettingsTab tab)
{
    if (m_scroller) {
        m_scroller->hide();
        m_scroller->deleteLater();
    }
    auto* scroller = new QScrollArea(this);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The page's controls take the focus, not the area around them.
    scroller->setFocusPolicy(Qt::NoFocus);
    scroller->setStyleSheet(Theme::scrollAreaStyle());
    m_page = makePage(tab, m_needs, scroller);
    m_page->setAttribute(Qt::WA_TranslucentBackground);
    scroller->setWidget(m_page);
    m_scroller = scroller;
    m_content->addWidget(scroller);
    m_focusRing->raise();
}

void SettingsView::selectTab(SettingsTab tab)
{
    m_selected = tab;
    for (int i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->setSelected(SettingsTab::allCases()[size_t(i)] == tab);
    showPage(tab);
    // The new page fades in over 0.15 s.
    auto* fade = new QGraphicsOpacityEffect(m_page);
    m_page->setGraphicsEffect(fade);
    auto* animation = new QPropertyAnimation(fade, "opacity", m_page);
    animation->setDuration(switchDuration);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    QPointer<QWidget> page = m_page;
    connect(animation, &QPropertyAnimation::finished, this, [page] {
        if (page)
            page->setGraphicsEffect(nullptr); // sharp text once the fade is done
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

QWidget* SettingsView::makePage(SettingsTab tab, const SettingsWindowManager::Needs& needs, QWidget* parent)
{
    QWidget* page = nullptr;
    switch (tab) {
    case SettingsTab::general:
        page = new GeneralSettingsView(needs, parent);
        break;
    case SettingsTab::filters:
        page = new FiltersSettingsView(needs, parent);
        break;
    case SettingsTab::blocklist:
        page = new BlocklistSettingsView(needs, parent);
        break;
    case SettingsTab::notchShelf:
        page = new NotchShelfSettingsView(needs, parent);
        break;
    case SettingsTab::screenshots:
        page = new ScreenshotSettingsView(needs, parent);
        break;
    case SettingsTab::recording:
        page = new RecordingSettingsView(needs, parent);
        break;
    case SettingsTab::about:
        page = new AboutView(needs, parent);
        break;
    }
    page->setObjectName(tab.rawValue());
    return page;
}
