// The picture of the history panel that feedback attaches: shown or hidden, and the settings
// window only when there is no panel at all.
#include "app/QuorvelApp.h"
#include "feedback/FeedbackSheet.h"
#include "history/HistoryPanel.h"

#include <QImage>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

// A panel whose content is one blue child filling it, laid out only when the layout runs.
std::unique_ptr<HistoryPanel> bluePanel()
{
    auto panel = std::make_unique<HistoryPanel>(true);
    auto* layout = new QVBoxLayout(panel.get());
    layout->setContentsMargins(0, 0, 0, 0);
    auto* content = new QWidget(panel.get());
    content->setAutoFillBackground(true);
    QPalette palette = content->palette();
    palette.setColor(QPalette::Window, Qt::blue);
    content->setPalette(palette);
    layout->addWidget(content);
    panel->resize(360, 300);
    return panel;
}

}

TEST(HistoryPanelPicture, ShownOrHiddenThePanelIsAttachedBeforeTheSettingsWindow)
{
    EXPECT_TRUE(QuorvelApp::historyPanelPicture(nullptr).isNull());

    auto panel = bluePanel();
    QImage hidden = QuorvelApp::historyPanelPicture(panel.get());
    ASSERT_FALSE(hidden.isNull()) << "a panel that was never shown still renders";
    EXPECT_EQ(hidden.size(), QSize(360, 300) * hidden.devicePixelRatio());
    EXPECT_EQ(hidden.pixelColor(hidden.width() / 2, hidden.height() / 2), QColor(Qt::blue));

    QWidget settings;
    settings.setWindowTitle(QStringLiteral("Quorvel Settings"));
    settings.resize(200, 100);
    settings.show();
    HistoryPanel* raw = panel.get();
    const FeedbackSheet::PanelPictureProvider ofPanel = [raw] { return QuorvelApp::historyPanelPicture(raw); };
    EXPECT_EQ(FeedbackSheet::captureAppWindowImage(ofPanel).size(), hidden.size()) << "the panel, not the settings";

    panel->show();
    const QImage shown = FeedbackSheet::captureAppWindowImage(ofPanel);
    EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 2), QColor(Qt::blue));

    // Without a panel the visible settings window is the picture.
    const QSize settingsSize = QSize(200, 100) * settings.devicePixelRatio();
    EXPECT_EQ(FeedbackSheet::captureAppWindowImage([] { return QuorvelApp::historyPanelPicture(nullptr); }).size(),
        settingsSize);
    EXPECT_EQ(FeedbackSheet::captureAppWindowImage({}).size(), settingsSize);
}
