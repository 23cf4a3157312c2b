#pragma once

#include "desktop/media_keys.h"
#include "media/levelling.h"
#include "media/mm_control.h"
#include "platform/file_service.h"
#include "platform/file_system.h"
#include "platform/ui_host.h"
#include "player/control_model.h"
#include "player/player.h"
#include "settings/mod_reg.h"
#include "settings/place_writer.h"

#include <chrono>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

class TrayHandlers;

// The main window's rules, widgets aside: it owns the media control, the file
// system and the player; its load puts the stored settings into the
// controls, each option click is stored at once, Browse puts the chosen
// folder into the play path, the tray items go to the tray handlers, and its
// unload closes the media control and stores everything, once. Each
// program's main window derives from it, mirrors the control model onto its
// widgets, sends its events to the handlers here and supplies the calls
// below; its own close runs Form_Unload.
class MainForm {
public:
    static constexpr const char* Caption = "MP3 Orvane";

    // Where the player's file-system calls run: at once on the window thread,
    // or on a worker whose answers come back to it (the programs: storage
    // may be slow or gone, and the window must never wait for it).
    enum class FileReads { AtOnce, OffWindowThread };

    MainForm(std::unique_ptr<MMControl> mmControl, std::unique_ptr<FileSystem> fileSystem,
             std::unique_ptr<UiHost> ui, SettingsProvider& settings, FileReads reads = FileReads::AtOnce);
    virtual ~MainForm();
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    Player& player() { return *player_; }
    ControlModel& controls() { return player_->controls(); }
    MMControl& mmControl() { return *MMControl1_; }
    bool isUnloaded() const { return unloaded_; }
    // Whether the window's timer runs: while Timer1 is enabled and the window
    // has not unloaded.
    bool timer1Runs() const;

    void Form_Load();
    void Form_Unload();
    // The place of a running sequence is kept in store from now on (null:
    // nothing is kept), written off the window thread; it lives as long as
    // the window. The unload waits for the last place at most exitWait.
    void keepPlaceIn(std::unique_ptr<PlaceStore> store, std::chrono::milliseconds exitWait = PlaceWriter::ExitWait);
    // The program is being ended other than by the user's close (the end of
    // the desktop session, a request to terminate): the next start plays on
    // from the place by itself, as after a crash.
    void sessionEnds() { closedByUser_ = false; }
    void Text1_Change(const std::string& text); // typed by the user
    void optDate_Click();
    void optName_Click();
    void ckSub_Click(bool checked);
    void ckRepeat_Click(bool checked);
    // Shuffle Folders chosen; false, and nothing changed, while it cannot be.
    bool mnuShuffle_Click(bool checked);
    // Even Loudness chosen: from the next file the media control opens.
    void mnuEvenLoudness_Click(bool checked);
    void cmdPath_Click();
    std::string GetBrowseDirectory();

    // The tray items and the resize notification.
    void mnuSettings_Click();
    void mnuAbout_Click();
    void mnuExit_Click();
    void Form_Resize();

    // A click on a control or tray item, by its name in the layout tables
    // (checked: a check box's new state), runs its handler. False for a name
    // that has none (headings, separators).
    bool click(std::string_view name, bool checked = false);
    static bool handles(std::string_view name);

    // Ctrl+Left and Ctrl+Right in the main window, and the Windows tray
    // menu's "Back 10 s" and "Forward 30 s": the file heard, moved back or on.
    static constexpr double SeekBackSeconds = 10.0;
    static constexpr double SeekForwardSeconds = 30.0;
    void seekBack();
    void seekForward();

    // A media key (or the desktop's media control) runs its tray menu twin
    // while the window is loaded. Whether anything ran.
    bool mediaKey(MediaKey key);

    // A folder or ".mp3" file from outside (a drop, a second start, the
    // desktop's media controls), by its absolute path: played as Player::
    // playRequested plays it, while the window is loaded.
    void playRequested(const std::string& path, Player::RequestAnswer answer = nullptr);
    // Once the window is on screen at the program's start: the folder or
    // file it was started with plays, as above; without one, a sequence the
    // program was ended in plays on by itself.
    void playAtStart(const std::optional<std::string>& path);
    // The folder dialog, as Browse shows it; the folder chosen plays as a
    // path from outside (the menu entry's "Play Folder…"), cancel changes
    // nothing.
    void playFolderChosen();

    // The tray icon's tip for the title heard (see trayTipText); setTrayTip
    // gives it to the tray for its next add, and showTrayTip has an icon that
    // is there show it (see TrayHandlers::showTip).
    std::string trayTip(const std::string& title, std::size_t mostUtf16Units = 0) const;
    void setTrayTip(const std::string& title, std::size_t mostUtf16Units = 0);
    void showTrayTip();

    // What the window tells a screen reader about playback, beside its
    // caption: "Playing: " or "Paused: " and the title heard, and empty text
    // while stopped or while a start has not sounded a file yet; then the
    // sleep's time left, while one is chosen.
    std::string playbackDescription(const std::string& title) const;

protected:
    // The window's tray handlers; the tray menu's Play, Pause and Stop then
    // refresh the tray icon.
    void attachTray(TrayHandlers* tray);

    // The modal folder dialog owned by the window: the chosen folder's native
    // path as the dialog gives it, or empty text.
    virtual std::string showFolderDialog() = 0;
    virtual void closeWindow() = 0; // unloads the window
    virtual void stopTimer1() = 0;
    // Once the unload has closed the media control and stored the settings.
    virtual void afterUnload() {}

private:
    SettingsProvider& settings_;
    std::shared_ptr<Levelling> levelling_; // shared with the media control
    std::unique_ptr<MMControl> MMControl1_;
    std::shared_ptr<FileSystem> fileSystem_; // shared with a worker that may outlive the window
    std::unique_ptr<UiHost> ui_;
    std::unique_ptr<AsyncFileService> files_; // null when the calls run at once
    std::unique_ptr<PlaceWriter> placeStore_; // outlives the player that keeps the place in it
    std::chrono::milliseconds placeExitWait_ = PlaceWriter::ExitWait;
    std::unique_ptr<Player> player_;
    TrayHandlers* tray_ = nullptr;
    bool unloaded_ = false;
    bool closedByUser_ = true;
};

} // namespace orvane
