// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Form1, the utility's one main window.
//
// The window is thin: it places the controls, keeps the window's life (load, close request,
// terminate) and its settings, draws what the engine shows through the Face, and hands every
// event of a control to the engine's handler of the same name. The engine's parts (the link,
// the port list, the firmware image, the flash sequence, the console) live here as members,
// for the life of the window.
//
// Outer measures. The store and the layout rules speak of the window's outer size (borders and
// title bar included): the frame geometry, where the platform reports a frame. On an X server
// without a window manager there is none, and the outer size is the client size (the bottom rows
// then sit 405 twips higher than under a usual title bar). Qt's offscreen platform reports a frame
// of 2 pixels all round. A frame becomes known only once the window is shown; then the minimum
// size and the saved size applied at load are corrected by it, once, so that the window keeps its
// creation client size and does not grow by its frame from one run to the next.

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "console/console.h"
#include "core/face.h"
#include "core/settings.h"
#include "engine/engine.h"
#include "firmware/image.h"
#include "flash/sequence.h"
#include "link/link.h"
#include "link/sio.h"
#include "link/waiter.h"
#include "ports/port_list.h"
#include "window/dialogs.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QMimeData;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace ondo::window {

class ClickLabel;
class PortLamp;

class Form1 : public QWidget, public Face, public PortListView, public ConsoleView {
    Q_OBJECT
  public:
    // What the window is built on. The settings store, the serial library and the waiter
    // outlive the window; the two dialog functions default to the real dialogs.
    struct Services {
        Settings& settings;
        sio::SerialLibrary& serial;
        Waiter& waiter;
        AskFunction ask = showMessageBox;
        OpenFileFunction openFile = runOpenFileDialog;
    };

    explicit Form1(Services services, QWidget* parent = nullptr);
    // Runs Form_Terminate if the window was loaded and it has not run yet.
    ~Form1() override;

    // Life of the window. The owner calls Form_Load once before the first show; the close
    // request is Qt's close event; Form_Terminate runs once, after the close (the destructor
    // runs it when the owner has not).
    void Form_Load();
    void Form_Resize();
    void Form_Terminate();

    // Handlers of the window's own controls.
    void cboPort_GotFocus();  // the port list got the focus: rebuild it, open the remembered port
    void cboPort_Click();     // an entry of the port list chosen: open it and greet the unit
    void labStat_Click();
    void tFlashFileName_Change();
    void btnFlashFile_Click();
    void tRev_Click();
    void btnFlashStart_Click();

    // The window's fields, in twips: the outer measures taken at the last close request, and
    // the smallest outer size the window may take (its size as created).
    int WinTop = 0;
    int WinLeft = 0;
    int WinHeight = 0;
    int WinWidth = 0;
    int MinWidth = 0;
    int MinHeight = 0;
    // The latest text of the file-name box (in the file system's encoding).
    std::string FlashFilePath;

    // The engine's parts.
    Engine& engine() { return engine_; }
    Link& link() { return link_; }
    FlashSequence& sequence() { return sequence_; }
    Console& console() { return console_; }
    FirmwareImage& image() { return image_; }

    // The texts of the progress log and the data pane exactly as written, control characters
    // and CR LF pairs included (the boxes show line breaks for them).
    const std::string& logText() const { return log_; }
    const std::string& paneText() const { return pane_; }

    // The outer size and place of the window now, in twips.
    int outerWidth() const;
    int outerHeight() const;
    int outerTop() const;
    int outerLeft() const;

    // Face.
    void status(Colour colour, const std::string& text) override;
    void scrollText(const std::string& text) override;
    void logAppend(const std::string& text) override;
    void logReplace(const std::string& text) override;
    void dataHistory(const std::string& text) override;
    void paneClear() override;
    void setDataLabel(const std::string& text) override;
    void setVersionLabel(const std::string& text) override;
    void setErrorLabel(const std::string& text) override;
    void setIndicator(Indicator indicator) override;
    void setStartButton(const std::string& caption, bool enabled) override;
    void setAbortEnabled(bool enabled) override;
    bool option(Option which) const override;
    void setOption(Option which, bool ticked) override;
    std::string fileName() const override;
    Answer ask(const MessageBox& box) override;
    // Closes the window as the engine's own request.
    void requestClose() override;
    // Nothing beyond what the log, the status line and the labels already show.
    void progress(const Progress& p) override;

    // ConsoleView, on tCmd.
    std::string cmdText() const override;
    void setCmdText(const std::string& text, int caret) override;
    void focusCmd() override;
    void beep() override;

    // PortListView, on cboPort.
    void portListClear() override;
    void portListAdd(const std::string& name) override;
    void portListSelect(const std::string& name) override;
    std::string portListText() const override;

  signals:
    // The window has been closed and no Start run is under way any more: the application may
    // end its event loop.
    void unloaded();

  protected:
    void closeEvent(QCloseEvent* event) override;  // Form_QueryUnload
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createControls();
    void createComPortFrame();
    void createFlashFileFrame();
    void createPanes();
    void createBottomRows();
    void chainTabOrder();
    void connectControls();

    void loadFlashFile();
    void loadPrompt();
    void loadPlace();
    void loadSize();
    void adoptLateFrame();
    QMargins frameMarginsNow() const;
    void setOuterWidth(int twips);
    void setOuterHeight(int twips);
    void layOutForSize();

    void readFile();
    bool filterNameBoxDrag(QEvent* event);
    void dropFiles(const QMimeData* mime);
    bool filterNameBoxKey(QKeyEvent* event);
    bool filterCmdKey(QKeyEvent* event);
    bool filterPaneKey(QObject* pane, QKeyEvent* event);
    void firstFocus();
    void showLog();
    void showPane();
    void maybeUnloaded();
    void runHandler(const std::function<void()>& handler);
    void setRunControls(bool enabled);
    bool refuseRead();

    Settings& settings_;
    AskFunction ask_;
    OpenFileFunction openFile_;

    Engine engine_;
    // Short names for the engine's parts.
    Link& link_ = engine_.link();
    FirmwareImage& image_ = engine_.image();
    FlashSequence& sequence_ = engine_.sequence();
    PortList ports_;
    Console console_;

    std::string log_;
    std::string pane_;

    bool loaded_ = false;
    bool terminated_ = false;
    bool shownOnce_ = false;
    bool frameAdopted_ = false;
    bool closed_ = false;
    bool unloadedSent_ = false;
    int busyDepth_ = 0;  // handlers under way that may yield to the event loop
    int resizeDepth_ = 0;
    int savedWidth_ = 0;  // the outer size read from the store at load, in twips
    int savedHeight_ = 0;

    QTimer* Timer1 = nullptr;
    ClickLabel* labStat = nullptr;
    ClickLabel* tRev = nullptr;
    QGroupBox* frComPort = nullptr;
    QComboBox* cboPort = nullptr;
    PortLamp* shpPort = nullptr;
    QGroupBox* frFlashFile = nullptr;
    QPushButton* btnFlashStart = nullptr;
    QPushButton* btnFlashFile = nullptr;
    QLineEdit* tFlashFileName = nullptr;
    ClickLabel* lBootVersion = nullptr;
    QPlainTextEdit* tText = nullptr;
    QPlainTextEdit* tRx = nullptr;
    QCheckBox* chkRescue = nullptr;
    QPushButton* btnAbort = nullptr;
    QLabel* lblData = nullptr;
    QCheckBox* chkFlashOnly = nullptr;
    QCheckBox* chkEEOnly = nullptr;
    QCheckBox* chkPromptOnComplete = nullptr;
    QLabel* labError = nullptr;
    QLineEdit* tCmd = nullptr;
    ClickLabel* lCmd = nullptr;
};

}  // namespace ondo::window
