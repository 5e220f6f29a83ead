#pragma once
#include "history/VisualEffectView.h"
#include "settings/SettingsWindowManager.h"
#include "settings/SettingsTab.h"

#include <QList>
#include <QPointer>

class FocusRing;
class QVBoxLayout;
class TabButton;

// The settings window's content, 760 x 660: a row of seven tab buttons, a thin separator, and the
// selected tab's page below, built afresh each time its tab is chosen (so lists and footers show
// what is stored now). Starts on "General".
class SettingsView : public VisualEffectView {
    Q_OBJECT
public:
    static constexpr int contentWidth = 760;
    static constexpr int contentHeight = 660;
    static constexpr int switchDuration = 150; // ms, ease-in-out

    explicit SettingsView(const SettingsWindowManager::Needs& needs, QWidget* parent = nullptr);

    SettingsTab selectedTab() const { return m_selected; }
    void selectTab(SettingsTab tab);
    // The page shown now (inside a scroll area that only scrolls when a page outgrows the window).
    QWidget* currentPage() const { return m_page; }
    const QList<TabButton*>& tabButtons() const { return m_buttons; }
    // The mark around the control the keyboard focused.
    FocusRing* focusRing() const { return m_focusRing; }

    // The page of a tab, as the content switch builds it.
    static QWidget* makePage(SettingsTab tab, const SettingsWindowManager::Needs& needs, QWidget* parent);

private:
    SettingsWindowManager::Needs m_needs;
    SettingsTab m_selected = SettingsTab::general;
    QList<TabButton*> m_buttons;
    void showPage(SettingsTab tab);
    QVBoxLayout* m_content;
    QPointer<QWidget> m_page;
    QPointer<QWidget> m_scroller;
    FocusRing* m_focusRing;
};
