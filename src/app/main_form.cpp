#include "app/main_form.h"

#include "desktop/mod_browse.h"
#include "desktop/tray_handlers.h"
#include "settings/settings_store.h"

namespace orvane {

namespace {

struct ClickHandler {
    const char* name;
    void (*run)(MainForm& form, bool checked);
};

// Each control and tray item of the main window with what its click runs.
constexpr ClickHandler ClickHandlers[] = {
    {"cmdPath", [](MainForm& f, bool) { f.cmdPath_Click(); }},
    {"optDate", [](MainForm& f, bool) { f.optDate_Click(); }},
    {"optName", [](MainForm& f, bool) { f.optName_Click(); }},
    {"ckRepeat", [](MainForm& f, bool checked) { f.ckRepeat_Click(checked); }},
    {"ckSub", [](MainForm& f, bool checked) { f.ckSub_Click(checked); }},
    {"cmdStop", [](MainForm& f, bool) { f.player().cmdStop_Click(); }},
    {"cmdSkip", [](MainForm& f, bool) { f.player().cmdSkip_Click(); }},
    {"cmdPause", [](MainForm& f, bool) { f.player().cmdPause_Click(); }},
    {"cmdPlay", [](MainForm& f, bool) { f.player().cmdPlay_Click(); }},
    {"mnuPlay", [](MainForm& f, bool) { f.player().mnuPlay_Click(); }},
    {"mnuPause", [](MainForm& f, bool) { f.player().mnuPause_Click(); }},
    {"mnuSkip", [](MainForm& f, bool) { f.player().mnuSkip_Click(); }},
    {"mnuStop", [](MainForm& f, bool) { f.player().mnuStop_Click(); }},
    {"mnuSettings", [](MainForm& f, bool) { f.mnuSettings_Click(); }},
    {"mnuAbout", [](MainForm& f, bool) { f.mnuAbout_Click(); }},
    {"mnuExit", [](MainForm& f, bool) { f.mnuExit_Click(); }},
    {"mnuShuffle", [](MainForm& f, bool checked) { f.mnuShuffle_Click(checked); }},
    {"mnuEvenLoudness", [](MainForm& f, bool checked) { f.mnuEvenLoudness_Click(checked); }},
};

const ClickHandler* handlerOf(std::string_view name)
{
    for (const ClickHandler& h : ClickHandlers)
        if (name == h.name)
            return &h;
    return nullptr;
}

} // namespace

MainForm::MainForm(std::unique_ptr<MMControl> mmControl, std::unique_ptr<FileSystem> fileSystem,
                   std::unique_ptr<UiHost> ui, SettingsProvider& settings, FileReads reads)
    : settings_(settings)
    , levelling_(std::make_shared<Levelling>())
    , MMControl1_(std::move(mmControl))
    , fileSystem_(std::move(fileSystem))
    , ui_(std::move(ui))
{
    MMControl1_->setLevelling(levelling_);
    if (reads == FileReads::OffWindowThread) {
        files_ = std::make_unique<AsyncFileService>(
            fileSystem_, [ui = ui_.get()](std::function<void()> call) { ui->post(std::move(call)); });
        player_ = std::make_unique<Player>(*MMControl1_, *files_, *ui_);
    } else {
        player_ = std::make_unique<Player>(*MMControl1_, *fileSystem_, *ui_);
    }
    // A tick asked for ahead of the interval is one more tick of Timer1.
    ui_->setTickHandler([this] {
        if (timer1Runs())
            player_->Timer1_Timer();
    });
}

MainForm::~MainForm()
{
    ui_->setTickHandler(nullptr);
}

bool MainForm::timer1Runs() const
{
    return player_->controls().enabled(Ctl::Timer1) && !unloaded_;
}

void MainForm::Form_Load()
{
    loadSettings(settings_, controls());
    levelling_->setPreampDb(loudnessPreampDb(settings_));
    levelling_->setOn(controls().evenLoudness());
}

void MainForm::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    // The place where the control is, then the control closed; a tick or a
    // start in the yield this close came in opens nothing afterwards.
    player_->programEnds(closedByUser_);
    if (files_)
        files_->close(); // a call stuck on a share that is gone keeps nothing waiting
    storeAllSettings(settings_, controls());
    // The last place was being written meanwhile.
    if (placeStore_)
        placeStore_->finish(placeExitWait_);
    stopTimer1();
    afterUnload();
}

void MainForm::keepPlaceIn(std::unique_ptr<PlaceStore> store, std::chrono::milliseconds exitWait)
{
    std::unique_ptr<PlaceWriter> writer = store ? std::make_unique<PlaceWriter>(std::move(store)) : nullptr;
    player_->place().keepIn(writer.get());
    placeStore_ = std::move(writer);
    placeExitWait_ = exitWait;
}

void MainForm::Text1_Change(const std::string& text)
{
    controls().setText1(text);
}

void MainForm::optDate_Click()
{
    orvane::optDate_Click(settings_, controls());
}

void MainForm::optName_Click()
{
    orvane::optName_Click(settings_, controls());
}

void MainForm::ckSub_Click(bool checked)
{
    controls().setCkSub(checked ? 1 : 0);
    orvane::ckSub_Click(settings_, controls());
}

void MainForm::ckRepeat_Click(bool checked)
{
    controls().setCkRepeat(checked ? 1 : 0);
    orvane::ckRepeat_Click(settings_, controls());
}

// Only while it can be chosen (Subdirectories checked): the desktop's media
// controls ask through here too.
bool MainForm::mnuShuffle_Click(bool checked)
{
    if (!controls().enabled(Ctl::mnuShuffle))
        return false;
    controls().setShuffle(checked);
    orvane::mnuShuffle_Click(settings_, controls());
    return true;
}

void MainForm::mnuEvenLoudness_Click(bool checked)
{
    controls().setEvenLoudness(checked);
    levelling_->setOn(checked);
    orvane::mnuEvenLoudness_Click(settings_, controls());
}

void MainForm::cmdPath_Click()
{
    const std::string chosen = GetBrowseDirectory();
    if (!chosen.empty())
        controls().setText1(chosen);
}

std::string MainForm::GetBrowseDirectory()
{
    return modBrowse::browseResult(showFolderDialog(), fileSystem_->separator());
}

void MainForm::attachTray(TrayHandlers* tray)
{
    tray_ = tray;
    if (tray)
        player_->trayRefresh = [tray](const std::string& image) { tray->trayRefresh(image); };
    else
        player_->trayRefresh = nullptr;
}

void MainForm::mnuSettings_Click()
{
    if (tray_)
        tray_->mnuSettings_Click();
}

void MainForm::mnuAbout_Click()
{
    if (tray_)
        tray_->mnuAbout_Click();
}

void MainForm::mnuExit_Click()
{
    if (tray_)
        tray_->mnuExit_Click(); // the tray icon goes before the window
    closeWindow();
}

bool MainForm::click(std::string_view name, bool checked)
{
    const ClickHandler* h = handlerOf(name);
    if (h)
        h->run(*this, checked);
    return h != nullptr;
}

bool MainForm::handles(std::string_view name)
{
    return handlerOf(name) != nullptr;
}

bool MainForm::mediaKey(MediaKey key)
{
    return !unloaded_ && pressMediaKey(*player_, key);
}

void MainForm::Form_Resize()
{
    if (tray_)
        tray_->Form_Resize();
}

std::string MainForm::playbackDescription(const std::string& title) const
{
    if (title.empty())
        return {};
    switch (player_->state()) {
    case PlayState::Playing: return "Playing: " + title;
    case PlayState::Paused: return "Paused: " + title;
    case PlayState::Idle: break;
    }
    return {};
}

} // namespace orvane
