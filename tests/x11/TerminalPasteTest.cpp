// Pasting into terminal emulators on a real X server: each gets the paste key it binds, and the
// entry's text arrives in the program running inside it (a raw-mode cat), never a control
// character. xterm and rxvt-unicode paste only PRIMARY on their key; Sakura is a VTE terminal.
#include "clipboard/ClipboardSuspension.h"
#include "clipboard/PasteService.h"
#include "platform/Dispatch.h"
#include "platform/PasteboardTypes.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include "X11TestSupport.h"

using namespace x11test;

namespace {

struct Terminal {
    const char* name;
    const char* program;
    const char* executeOption; // runs the script given after it
};

class TerminalPasteTest : public ::testing::TestWithParam<Terminal> {
protected:
    // Starts the terminal running a script that puts its tty in raw mode and copies every byte
    // it receives into a file; true once the terminal's window is the active one.
    bool startTerminal(const Terminal& terminal)
    {
        QFile script(dir.filePath(QStringLiteral("receive.sh")));
        if (!script.open(QIODevice::WriteOnly))
            return false;
        script.write("#!/bin/sh\nstty raw -echo\n: > '" + readyPath().toUtf8() + "'\nexec cat > '"
            + outputPath().toUtf8() + "'\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        process.setProcessEnvironment(environment);
        process.start(QString::fromLatin1(terminal.program),
            {QString::fromLatin1(terminal.executeOption), script.fileName()});
        if (!process.waitForStarted(5000))
            return false;
        return waitUntil(
            [this] {
                const auto front = services.workspace.frontmostApplication();
                return QFile::exists(readyPath()) && front && front->processIdentifier == process.processId();
            },
            10000);
    }

    void TearDown() override
    {
        waitUntil([this] { return !suspension.isSuspended(); }, 3000);
        process.kill();
        process.waitForFinished(3000);
    }

    QString readyPath() const { return dir.filePath(QStringLiteral("ready")); }
    QString outputPath() const { return dir.filePath(QStringLiteral("received")); }
    QByteArray received() const
    {
        QFile file(outputPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    X11AppServices services;
    QTemporaryDir dir;
    QProcess process;
    ClipboardSuspension suspension;
    PasteService paste {services.pasteboard, services.workspace, services.keys, DispatchQueue::main(), suspension,
        dir.filePath(QStringLiteral("trace.txt"))};
};

}

TEST_P(TerminalPasteTest, TheEntrysTextArrivesNeverAControlCharacter)
{
    const Terminal terminal = GetParam();
    if (QStandardPaths::findExecutable(QString::fromLatin1(terminal.program)).isEmpty())
        GTEST_SKIP() << terminal.program << " is not installed (scripts/setup installs it)";
    ASSERT_TRUE(services.keys.isAvailable()) << "needs the XTEST extension";
    ASSERT_TRUE(startTerminal(terminal)) << terminal.name << " did not come up";

    paste.captureTargetApp();
    ASSERT_EQ(paste.targetPID(), process.processId());
    // PRIMARY holds something else before: a terminal that pastes it must get the entry anyway.
    XclipOwner otherSelection("not this", QStringLiteral("primary"));

    const QString text = QStringLiteral("Grüße aus Quorvel 42");
    const ClipItemPtr entry = makeEntry(text, {sealedRepresentation(PasteboardTypes::utf8PlainText, 100, text.toUtf8())});
    ASSERT_TRUE(paste.paste(entry, false));
    EXPECT_TRUE(waitUntil([&] { return received() == text.toUtf8(); }, 5000))
        << terminal.name << " received: " << received().toHex(' ').toStdString();
    spin(200);
    EXPECT_EQ(received(), text.toUtf8()) << "nothing else may follow";
}

INSTANTIATE_TEST_SUITE_P(Terminals, TerminalPasteTest,
    ::testing::Values(Terminal {"xterm", "xterm", "-e"}, Terminal {"rxvt_unicode", "urxvt", "-e"},
        Terminal {"sakura", "sakura", "-x"}),
    [](const ::testing::TestParamInfo<Terminal>& info) { return std::string(info.param.name); });
