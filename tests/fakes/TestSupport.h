#pragma once
// Pieces shared by the test folders: a console capture, a clipboard key installed for a test,
// entries with sealed representations, a store in a temporary folder, and image bytes.
#include "fakes/FakeKeychain.h"
#include "platform/Console.h"
#include "platform/PasteboardTypes.h"
#include "store/ClipboardCryptoService.h"
#include "store/ClipItem.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// Readable failure messages for QString values.
inline void PrintTo(const QString& value, std::ostream* out)
{
    *out << '"' << value.toStdString() << '"';
}

// Captures console lines for the lifetime of the object.
class ConsoleCapture {
public:
    ConsoleCapture()
    {
        m_previous = Console::setSink([this](const QString& line) { lines.append(line); });
    }
    ~ConsoleCapture() { Console::setSink(m_previous); }
    bool contains(const QString& part) const
    {
        return std::any_of(lines.cbegin(), lines.cend(), [&](const QString& line) { return line.contains(part); });
    }
    int count(const QString& line) const { return static_cast<int>(lines.count(line)); }
    QStringList lines;

private:
    Console::Sink m_previous;
};

// A clipboard key in an in-memory keychain. While it lives, the stores a test opens through
// openStore() (TempStore among them) seal and open with it.
class TestCrypto {
public:
    TestCrypto()
        : service(keychain)
    {
        EXPECT_TRUE(service.ensureKey());
        s_installed = this;
    }
    ~TestCrypto()
    {
        if (s_installed == this)
            s_installed = nullptr;
    }
    // The key of the running test, or null.
    static TestCrypto* installed() { return s_installed; }
    QByteArray storedKey() const
    {
        return keychain
            .item(QString::fromLatin1(ClipboardCryptoService::keychainService),
                QString::fromLatin1(ClipboardCryptoService::keychainAccount))
            .value_or(QByteArray());
    }
    FakeKeychain keychain;
    ClipboardCryptoService service;

private:
    inline static TestCrypto* s_installed = nullptr;
};

// Opens the store at path, sealed with the test's key when one is installed.
inline std::shared_ptr<ModelContainer> openStore(const QString& path, QString* error = nullptr)
{
    std::shared_ptr<ModelContainer> container = ModelContainer::open(path, error);
    if (container && TestCrypto::installed())
        container->setSealer(TestCrypto::installed()->service);
    return container;
}

// A store file in a temporary folder (sealed with the test's key when one is installed first).
struct TempStore {
    TempStore()
    {
        QString error;
        container = openStore(dir.filePath(QStringLiteral("Quorvel.store")), &error);
        EXPECT_TRUE(container) << error.toStdString();
    }
    QTemporaryDir dir;
    std::shared_ptr<ModelContainer> container;
};

// A representation sealed (under the installed key) when a context writes it.
inline ClipRepresentationPtr sealedRepresentation(const QString& type, int priority, const QByteArray& data)
{
    return std::make_shared<ClipRepresentation>(type, priority, data);
}

// A representation whose sealed bytes cannot be opened and that has no plain fallback.
inline ClipRepresentationPtr unreadableRepresentation(const QString& type, int priority)
{
    auto rep = std::make_shared<ClipRepresentation>();
    rep->typeUTI = type;
    rep->priority = priority;
    rep->encryptedData = QByteArray(40, '\x5a');
    return rep;
}

inline ClipItemPtr makeEntry(const QString& searchText, std::vector<ClipRepresentationPtr> representations = {},
    const QDateTime& time = QDateTime::currentDateTimeUtc(), bool pinned = false)
{
    return std::make_shared<ClipItem>(time, QStringLiteral("org.example.editor"), QStringLiteral("Editor"), pinned,
        searchText, std::move(representations), std::nullopt, std::nullopt, false, false, 0, std::nullopt, std::nullopt,
        std::nullopt, false, std::nullopt, false, std::nullopt);
}

inline ClipItemPtr makeTextEntry(const QString& text)
{
    return makeEntry(text, {sealedRepresentation(PasteboardTypes::utf8PlainText, 100, text.toUtf8())});
}

// A text entry as the store hands it out: written, and so sealed, through a throw-away store.
inline ClipItemPtr storedTextEntry(const QString& text)
{
    const ClipItemPtr entry = makeTextEntry(text);
    TempStore store;
    store.container->mainContext().insert(entry);
    EXPECT_TRUE(store.container->mainContext().save());
    return entry;
}

// The bytes of a file (empty when it cannot be read); writing makes the missing folders.
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

inline QByteArray imageBytes(int width, int height, const char* format = "png", QColor color = Qt::red)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

inline QSize imageSize(const QByteArray& bytes)
{
    QImage image;
    image.loadFromData(bytes);
    return image.size();
}
