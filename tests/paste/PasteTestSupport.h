#pragma once
// Shared pieces of the paste tests: a real clipboard key over an in-memory keychain, entries with
// sealed representations, and a console capture.
#include "clipboard/ClipboardCryptoService.h"
#include "platform/Console.h"
#include "fakes/FakeKeychain.h"
#include "store/ClipItem.h"

#include <QStringList>
#include <memory>

// Installs a clipboard key for the lifetime of the object.
class TestCrypto {
public:
    TestCrypto() : service(keychain)
    {
        service.ensureKey();
        ClipboardCryptoService::setShared(&service);
    }
    ~TestCrypto() { ClipboardCryptoService::setShared(nullptr); }
    FakeKeychain keychain;
    ClipboardCryptoService service;
};

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
        for (const QString& line : lines)
            if (line.contains(part))
                return true;
        return false;
    }
    QStringList lines;

private:
    Console::Sink m_previous;
};

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

inline ClipItemPtr makeEntry(const QString& searchText, std::vector<ClipRepresentationPtr> representations)
{
    return std::make_shared<ClipItem>(QDateTime::currentDateTimeUtc(), QStringLiteral("org.example.editor"),
        QStringLiteral("Editor"), false, searchText, std::move(representations), std::nullopt, std::nullopt, false,
        false, 0, std::nullopt, std::nullopt, std::nullopt, false, std::nullopt, false, std::nullopt);
}

inline ClipItemPtr makeTextEntry(const QString& text)
{
    return makeEntry(text, {sealedRepresentation(QStringLiteral("public.utf8-plain-text"), 100, text.toUtf8())});
}
