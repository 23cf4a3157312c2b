#include "app/main_form.h"

#include "desktop/mod_browse.h"
#include "desktop/tray_handlers.h"
#include "desktop/tray_tip.h"
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
    {"mnuBack", [](MainForm& f, bool) { f.seekBack(); }},
    {"mnuForward", [](MainForm& f, bool) { f.seekForward(); }},
    {"mnuEvenLoudness", [](MainForm& f, bool checked) { f.mnuEvenLoudness_Click(checked); }},
};

const SleepMenuItem* sleepItemOf(std::string_view name)
{
    for (const SleepMenuItem& item : SleepMenu)
        if (name == item.name)
            return &item;
    return nullptr;
}

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
    controls().setText1(player_->playPathToStore());
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
    if (const SleepMenuItem* item = sleepItemOf(name)) {
        player_->chooseSleep(item->choice);
        return true;
    }
    const ClickHandler* h = handlerOf(name);
    if (h)
        h->run(*this, checked);
    return h != nullptr;
}

bool MainForm::handles(std::string_view name)
{
    return handlerOf(name) != nullptr || sleepItemOf(name) != nullptr;
}

void MainForm::seekBack()
{
    if (!unloaded_)
        player_->seekBy(-SeekBackSeconds);
}

void MainForm::seekForward()
{
    if (!unloaded_)
        player_->seekBy(SeekForwardSeconds);
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

void MainForm::playRequested(const std::string& path, Player::RequestAnswer answer)
{
    if (!unloaded_)
        player_->playRequested(path, std::move(answer));
    else if (answer)
        answer(false);
}

void MainForm::playAtStart(const std::optional<std::string>& path)
{
    if (path)
        playRequested(*path);
    else if (!unloaded_)
        player_->playOnByItself();
}

void MainForm::playFolderChosen()
{
    if (unloaded_)
        return;
    const std::string chosen = GetBrowseDirectory();
    if (!chosen.empty())
        playRequested(chosen);
}

std::string MainForm::trayTip(const std::string& title, std::size_t mostUtf16Units) const
{
    // A sleep under way is told on a line of its own, which the title's
    // shortening leaves room for.
    const std::string sleep = player_->sleepText();
    if (sleep.empty())
        return trayTipText(player_->state(), title, mostUtf16Units);
    const std::size_t line = sleep.size() + 1; // plain ASCII, a unit a byte
    const std::size_t forTitle = mostUtf16Units > line ? mostUtf16Units - line : mostUtf16Units;
    return boundedText(trayTipText(player_->state(), title, forTitle) + "\n" + sleep, mostUtf16Units);
}

void MainForm::setTrayTip(const std::string& title, std::size_t mostUtf16Units)
{
    if (tray_)
        tray_->setTip(trayTip(title, mostUtf16Units));
}

void MainForm::showTrayTip()
{
    if (tray_)
        tray_->showTip();
}

std::string MainForm::playbackDescription(const std::string& title) const
{
    std::string text;
    if (!title.empty() && player_->state() == PlayState::Playing)
        text = "Playing: " + title;
    else if (!title.empty() && player_->state() == PlayState::Paused)
        text = "Paused: " + title;
    const std::string sleep = player_->sleepText();
    if (!sleep.empty())
        text += (text.empty() ? "" : "; ") + sleep;
    return text;
}

} // namespace orvane
