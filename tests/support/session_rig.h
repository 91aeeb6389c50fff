#pragma once
// The playback session over the scripted device in a temporary folder, with
// what it reports written down: no widget takes part.
#include "core/media_kinds.h"
#include "playback/playback_session.h"
#include "tests/support/scripted_device.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

struct SessionTest : ::testing::Test {
    testing_support::TempDir dir;
    testing_support::ScriptedMedia media;
    std::unique_ptr<PlaybackSession> session;
    QStringList listed; // the folder's media files, as the browser lists them

    // What the session reported last.
    QString title;
    int lengthMs = -1;
    int tenths = 0;
    QString refusal;
    bool dropsAccepted = false;
    QStringList browsed;
    QStringList failures; // the device's refusals of commands
    std::vector<PlaybackSession::State> states;

    // A media file on disk that the scripted device plays for LENGTH ms.
    std::string addFile(const std::string& name, uint32_t length)
    {
        const std::string path = dir.write(name, "media");
        media.add(path, length);
        list(name);
        return path;
    }

    // A file the device refuses.
    void addBadFile(const std::string& name)
    {
        dir.write(name, "x");
        list(name);
    }

    void list(const std::string& name)
    {
        const QString entry = QString::fromStdString(name);
        if (!entry.contains('/') && media_kinds::kindOf(entry) && media_kinds::kindOf(entry)->listed)
            listed << entry;
    }

    // The session as the window starts it: the sequencer open without a file.
    void build(SessionSetup setup = {})
    {
        session = std::make_unique<PlaybackSession>(std::move(setup));
        PlaybackSession* s = session.get();
        QObject::connect(s, &PlaybackSession::trackChanged, [this, s] {
            title = s->track().title;
            refusal = s->track().reason;
            if (refusal.isEmpty())
                lengthMs = s->track().lengthMs;
        });
        QObject::connect(s, &PlaybackSession::positionChanged, [this](int ms) { tenths = ms / 100; });
        QObject::connect(s, &PlaybackSession::failed, [this](const QString& reason) { failures << reason; });
        QObject::connect(
            s, &PlaybackSession::stateChanged, [this](PlaybackSession::State st) { states.push_back(st); });
        QObject::connect(s, &PlaybackSession::dropsAccepted, [this] { dropsAccepted = true; });
        QObject::connect(s, &PlaybackSession::browseTo, [this](const QString& p) { browsed << p; });
        listed.sort();
        session->setTracks(QString::fromStdString(dir.str()), listed);
        session->openDevice(mci::DeviceType::Sequencer);
        media.clearLog();
        states.clear();
    }

    // What a user's click on entry NAME does.
    void click(const QString& name)
    {
        const int index = listed.indexOf(name);
        ASSERT_GE(index, 0) << name.toStdString();
        session->playEntry(index);
    }

    void tick() { session->tick(); }

    // Plays the open track to its end and lets one tick see it.
    void endTrack()
    {
        media.finish();
        tick();
    }

    void startFromCommandLine(const std::string& name)
    {
        session->setCommandLine({"quorvana", QString::fromStdString(path(name))});
        session->playCommandLineFile();
    }

    std::string current() const { return media.current() ? media.current()->path : std::string("(none)"); }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    QString qpath(const std::string& name) const { return QString::fromStdString(path(name)); }
};
