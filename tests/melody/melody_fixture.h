// Shared set-up of the melody tests: a program folder with the English
// bundle, a recording application and the profile in that folder.
#pragma once

#include "pcplayer.h"
#include "profile.h"
#include "test_support.h"
#include "wndmsg.h"

#include <QEvent>
#include <QObject>

#include <gtest/gtest.h>

namespace zorqtest {

// Counts the done messages it receives.
class DoneCounter : public QObject {
public:
    int done = 0;
    bool event(QEvent* e) override
    {
        if (e->type() == CWndMsgEvent::EventType() &&
            static_cast<CWndMsgEvent*>(e)->message() == WM_MMI_MELODY_DONE) {
            ++done;
            return true;
        }
        return QObject::event(e);
    }
};

class MelodyFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        CopyFile(BuiltBundle(), dir_.path() + "ZORQenu.rcc");
        app_.SetDataDirectories(dir_.path() + "zorqmmi");
        app_.LoadResourceLibrary("enu");
        SetIniProfileFile(dir_.path());
        wav_ = dir_.path() + "out.wav";
        CPcPlayer::SetAudioOutput("file", wav_);
    }
    void TearDown() override
    {
        CPcPlayer::SetAudioOutput("", "");
        CPcPlayer::SetSoundFont("");
        SetIniProfileFile();
    }
    std::string MelodyDir() const { return app_.GetMelodyDir(); }
    // The texts of the message boxes shown so far.
    std::vector<QString> Shown() const
    {
        std::vector<QString> texts;
        for (const auto& s : app_.shown)
            texts.push_back(s.text);
        return texts;
    }

    TempProgramDir dir_;
    RecordingApp app_;
    std::string wav_;
};

}  // namespace zorqtest
