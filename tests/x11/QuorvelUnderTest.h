#pragma once
// The whole program on this display, as main() wires it: the X11 services, a store in a
// temporary folder, the launch steps, the tray item. The screen and the movie writer are fakes, so
// capture and recording sessions start without grabbing or encoding anything.
#include "app/PlatformServices.h"
#include "app/QuorvelApp.h"
#include "fakes/RecordingFakes.h"
#include "fakes/TestSupport.h"
#include "platform/Keychain.h"
#include "recording/ScreenRecordingService.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QSignalSpy>
#include "platform/Background.h"
#include <QTemporaryDir>
#include <memory>

struct QuorvelUnderTest {
    TestCrypto crypto;
    QTemporaryDir dir;
    RecordingFakes fakes;
    std::unique_ptr<QuorvelApp> app;

    QuorvelUnderTest()
    {
        Theme::install();
        Symbols::installIconTheme();
        PlatformServices::installLinux();
        // The clipboard key comes from the test's keychain, not from a desktop keyring.
        Keychain::setShared(&crypto.keychain);
        ScreenMonitor monitor;
        monitor.displayID = 1;
        monitor.frame = QRect(0, 0, 320, 240);
        monitor.isPrimary = true;
        fakes.screen.monitorList = {monitor};
        QImage image(320, 240, QImage::Format_RGB32);
        image.fill(QColor(40, 90, 160));
        fakes.screen.setScreen(image);
        ScreenSource::setShared(&fakes.screen);
        MovieWriter::setShared(&fakes.writer);
        MovieThumbnailer::setShared(&fakes.thumbnailer);
        SleepInhibitor::setShared(&fakes.inhibitor);
        SystemAudioSource::setShared(&fakes.audio);
        DesktopNotifier::setShared(&fakes.notifier);
        QString error;
        app = QuorvelApp::create(Platform::wired(), dir.filePath(QStringLiteral("Quorvel.store")), &error);
        EXPECT_TRUE(app) << error.toStdString();
        if (app)
            app->recorder().setRecordingsDirectory(dir.filePath(QStringLiteral("movies")));
        app->appDelegate().applicationDidFinishLaunching();
    }
    ~QuorvelUnderTest()
    {
        // The fakes go with this object: a recording still running ends first.
        if (app && app->recorder().isRecording()) {
            QSignalSpy stopped(&app->recorder(), &ScreenRecordingService::stopped);
            app->recorder().stopRecording();
            stopped.wait(10000);
        }
        Background::waitForAll();
        if (app)
            app->appDelegate().applicationWillTerminate();
    }
};
