#pragma once
// A store with a clipboard key, entries made to measure, and a controller over a hand-driven
// queue and in-memory preferences.
#include "clipboard/AppIconCache.h"
#include "clipboard/ImageCache.h"
#include "fakes/FakePreferences.h"
#include "fakes/ManualQueue.h"
#include "fakes/TestSupport.h"
#include "history/ClipHistoryController.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "store/ModelContext.h"

#include <QCoreApplication>
#include <QDir>
#include <QWidget>

// The caches the list's and the shelf's pictures come from, of the test's own.
struct PictureCaches {
    NotificationCenter center;
    ImageCache images {center};
    std::unique_ptr<DispatchQueue> loading = DispatchQueue::makeSerial(QStringLiteral("test.appiconloading"));
    AppIconCache icons {*loading, DispatchQueue::main()};
};

// What an entry holds besides its text.
struct EntrySpec {
    EntrySpec(QString text, QString bundleID = QStringLiteral("org.example.editor"),
        QString appName = QStringLiteral("Editor"), bool image = false, bool fcp = false,
        std::optional<QString> linkTitle = std::nullopt, bool pinned = false)
        : text(std::move(text))
        , bundleID(std::move(bundleID))
        , appName(std::move(appName))
        , image(image)
        , fcp(fcp)
        , linkTitle(std::move(linkTitle))
        , pinned(pinned)
    {
    }
    QString text;
    QString bundleID;
    QString appName;
    bool image;
    bool fcp;
    std::optional<QString> linkTitle;
    bool pinned;
};

class HistoryTest : public ::testing::Test {
protected:
    // Stored entries get increasing times in the order they are added (the last added is newest).
    ClipItemPtr add(const EntrySpec& spec)
    {
        const QDateTime time = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC).addSecs(m_next++);
        auto item = std::make_shared<ClipItem>(time, spec.bundleID, spec.appName, spec.pinned, spec.text,
            std::vector<ClipRepresentationPtr> {}, spec.linkTitle, std::nullopt, spec.image, spec.fcp, spec.fcp ? 1 : 0,
            std::nullopt, std::nullopt, spec.image ? std::optional<QByteArray>(QByteArray("thumb")) : std::nullopt,
            false, std::nullopt, false, std::nullopt);
        context().insert(item);
        EXPECT_TRUE(context().save());
        return item;
    }
    ClipItemPtr add(const QString& text) { return add(EntrySpec {text}); }
    ModelContext& context() { return store.container->mainContext(); }

    // The texts (search text) of a list, in order.
    static QStringList texts(const std::vector<ClipItemViewModelPtr>& models)
    {
        QStringList out;
        for (const ClipItemViewModelPtr& model : models)
            out << model->searchIndex();
        return out;
    }

    TestCrypto crypto;
    TempStore store;
    FakePreferences preferences;
    ManualQueue queue;

private:
    int m_next = 0;
};

// The folder for pictures of widgets: $QUORVEL_BUILD_DIR/artifacts, else <build>/artifacts
// (test executables live in <build>/tests).
inline QString artifactPath(const QString& name)
{
    const QString build = qEnvironmentVariableIsSet("QUORVEL_BUILD_DIR")
        ? qEnvironmentVariable("QUORVEL_BUILD_DIR")
        : QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral(".."));
    QDir dir(build);
    dir.mkpath(QStringLiteral("artifacts"));
    return dir.absoluteFilePath(QStringLiteral("artifacts/") + name);
}
