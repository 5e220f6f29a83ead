#include "settings/AboutView.h"

#include "platform/Workspace.h"
#include "settings/GlobalShortcuts.h"
#include "settings/KeyboardShortcutView.h"
#include "settings/SettingsStyle.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The program's icon when it has one, else the clipboard symbol on a tinted rounded square of
// the same size.
class AppIconView : public QWidget {
public:
    explicit AppIconView(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(96, 104);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF square(0, 0, 96, 96);
        const QIcon appIcon = QApplication::windowIcon();
        if (!appIcon.isNull()) {
            p.setPen(Qt::NoPen);
            p.setBrush(Theme::blackAlpha(51));
            p.drawRoundedRect(square.translated(0, 4), 20, 20);
            QPainterPath clip;
            clip.addRoundedRect(square, 20, 20);
            p.setClipPath(clip);
            appIcon.paint(&p, square.toRect());
            return;
        }
        QColor tint = Theme::accent();
        tint.setAlphaF(0.15);
        p.setPen(Qt::NoPen);
        p.setBrush(tint);
        p.drawRoundedRect(square, 20, 20);
        const QPixmap symbol = SettingsStyle::symbol(QStringLiteral("doc.on.clipboard.fill"), 44, Theme::accent());
        p.drawPixmap(QPointF(48 - 22, 48 - 22), symbol);
    }
};

QPushButton* borderedButton(const QString& symbol, const QString& title, QWidget* parent)
{
    auto* button = new QPushButton(QIcon(SettingsStyle::symbol(symbol, 14, Theme::text())), title, parent);
    button->setStyleSheet(Theme::borderedButtonStyle());
    return button;
}

QPushButton* linkButton(const QString& title, QWidget* parent)
{
    auto* button = new QPushButton(title, parent);
    button->setFont(SettingsStyle::font(11));
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(Theme::textButtonStyle(Theme::accent(), QStringLiteral("0")));
    return button;
}

}

AboutView::AboutView(const SettingsWindowManager::Needs& needs, QWidget* parent)
    : QWidget(parent)
{
    SettingsStyle::setPageMargins(this, 0);
    auto* page = static_cast<QVBoxLayout*>(layout());
    page->addStretch(1);
    page->addWidget(new AppIconView(this), 0, Qt::AlignHCenter);
    page->addSpacing(12);

    QLabel* name = textLabel(QStringLiteral("Quorvel"), SettingsStyle::font(22, QFont::Bold), Theme::text(), this);
    page->addWidget(name, 0, Qt::AlignHCenter);
    page->addSpacing(4);
    QLabel* version = textLabel(versionLine(needs.version), SettingsStyle::font(12), SettingsStyle::secondary(), this);
    version->setObjectName(QStringLiteral("version"));
    page->addWidget(version, 0, Qt::AlignHCenter);
    page->addSpacing(12);
    QLabel* tagline = textLabel(QStringLiteral("A modern clipboard manager\nwith Final Cut Pro support"),
        SettingsStyle::font(12), SettingsStyle::secondary(0.8), this);
    tagline->setAlignment(Qt::AlignCenter);
    page->addWidget(tagline, 0, Qt::AlignHCenter);
    page->addSpacing(18);

    auto* actions = new QHBoxLayout;
    actions->setSpacing(10);
    actions->addStretch(1);
    m_feedback = borderedButton(QStringLiteral("envelope.badge"), QStringLiteral("Feedback senden"), this);
    connect(m_feedback, &QPushButton::clicked, this, [needs] {
        if (needs.showFeedback)
            needs.showFeedback(QStringLiteral("Quorvel – Einstellungen"));
    });
    actions->addWidget(m_feedback);
    m_updates = borderedButton(QStringLiteral("arrow.triangle.2.circlepath"), QStringLiteral("Nach Updates suchen"), this);
    connect(m_updates, &QPushButton::clicked, this, [needs] {
        if (needs.checkForUpdates)
            needs.checkForUpdates();
    });
    actions->addWidget(m_updates);
    actions->addStretch(1);
    page->addLayout(actions);
    page->addSpacing(10);

    auto* legal = new QHBoxLayout;
    legal->setSpacing(12);
    legal->addStretch(1);
    QPushButton* privacy = linkButton(QStringLiteral("Datenschutz"), this);
    legal->addWidget(privacy);
    legal->addWidget(textLabel(QStringLiteral("·"), SettingsStyle::font(11), SettingsStyle::secondary(), this));
    QPushButton* terms = linkButton(QStringLiteral("Nutzungsbedingungen"), this);
    legal->addWidget(terms);
    legal->addStretch(1);
    page->addLayout(legal);
    const QString origin = needs.legalPagesOrigin;
    Workspace* workspace = needs.workspace;
    connect(privacy, &QPushButton::clicked, this, [workspace, origin] {
        if (workspace)
            workspace->openURL(privacyPage(origin));
    });
    connect(terms, &QPushButton::clicked, this, [workspace, origin] {
        if (workspace)
            workspace->openURL(termsPage(origin));
    });

    page->addStretch(1);
    auto* hint = new QHBoxLayout;
    hint->setSpacing(10);
    hint->addStretch(1);
    const QString shortcut = needs.shortcuts ? needs.shortcuts->shortcutDisplay(GlobalShortcuts::showHistory)
                                             : GlobalShortcuts::unassigned;
    auto* pill = new KeyboardShortcutView(shortcut, this);
    pill->setObjectName(QStringLiteral("historyShortcut"));
    hint->addWidget(pill);
    hint->addWidget(textLabel(QStringLiteral("to open Clipboard"), SettingsStyle::font(11), SettingsStyle::secondary(), this));
    hint->addStretch(1);
    page->addLayout(hint);
    page->addSpacing(24);
}

QString AboutView::versionLine(const QString& version)
{
    return QStringLiteral("Version ") + (version.isEmpty() ? QStringLiteral("0") : version);
}

QUrl AboutView::privacyPage(const QString& origin)
{
    return QUrl(origin + QStringLiteral("/quorvel-updates/privacy.html"));
}

QUrl AboutView::termsPage(const QString& origin)
{
    return QUrl(origin + QStringLiteral("/quorvel-updates/terms.html"));
}
