#pragma once
// Shared pieces of the paste tests: the paste service's collaborators as fakes on a virtual clock,
// and the messages of a paste trace file.
#include "clipboard/ClipboardSuspension.h"
#include "fakes/FakeKeySynthesizer.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/ManualQueue.h"
#include "fakes/TestSupport.h"

#include <QFile>

// The messages of a trace file, without their time stamps.
inline QStringList traceMessages(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList messages;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        messages.append(line.mid(line.indexOf(QStringLiteral("] ")) + 2));
    return messages;
}

class PasteFixture : public ::testing::Test {
protected:
    QString tracePath() const { return dir.filePath(QStringLiteral("paste-trace.txt")); }
    QStringList traced() const { return traceMessages(tracePath()); }

    TestCrypto crypto;
    ConsoleCapture console;
    QTemporaryDir dir;
    TempStore store;
    FakePasteboard pasteboard;
    FakeWorkspace workspace;
    FakeKeySynthesizer keys;
    ManualQueue queue;
    ClipboardSuspension suspension;
    RunningApplication editor {QStringLiteral("org.example.editor"), QStringLiteral("Editor"), 1234, 77};
    RunningApplication other {QStringLiteral("org.example.terminal"), QStringLiteral("Terminal"), 555, 88};
};
