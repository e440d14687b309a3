#pragma once
// The main window: a view of the station. It shows the station's state and
// forwards the operator's commands; the telemetry work happens in the station.
//
// Controls carry the names the operators' documentation uses. A control array
// element is named with its index after an underscore (Text1(14) is "Text1_14",
// Option1(3) is "Option1_3", Label2(0) is "Label2_0"); single controls keep their
// plain names ("Label5", "Text3", "Frame5", "MSChart1", "Check1", "Command2").
// The code calls them by what they are:
//
//   objectName, old handler            member or function
//   ---------------------------------  ----------------------------------------------
//   Form1                              MainWindow
//     Form_Load                        startUp()
//     Form_QueryUnload, Form_Unload    shutDown(), from closeEvent()
//     Form_Resize                      fitScreenshotSurface(), from resizeEvent()
//   client                             client_, the area below the menu bar
//   Timer1, Timer1_Timer               clockTimer_, onClockTick()
//   Label1                             clockLabel_ (also where a screenshot says "saved")
//   Label5                             beaconTypeLine_
//   Label7                             counterLine_
//   Label8                             timeLine_
//   Image2, Image3                     linkUpIcon_, linkDownIcon_, showLinkState()
//   Label3                             linkCaption_, showLinkState()
//   Label6, Line1, Line2               fixed captions and lines: buildStatusFrame(), buildTopRow(),
//                                      buildBottomRows()
//   Frame2                             buildStatusFrame()
//   Frame3, Frame4                     buildRowFrame() (Power, Temperatures)
//   Frame1, Label21 .. Label26         buildMemCheckFrame(), memCheckLabels_
//   Frame5, MSChart1                   valueChart_, chart()
//   Text1_0 .. Text1_26                valueBoxes_
//   Option1_0 .. Option1_20            chartOptions_
//     Option1_Click                    selectChartSlot()
//   Label2_0 .. Label2_20              unitLabels_
//   RefreshValueChart                  RefreshValueChart()
//   InitPanelCaptions                  InitPanelCaptions()
//   Text2                              hexMonitor_ (hidden)
//   Text3                              statusLog_
//   Text4                              uptimeBox_
//   Text6                              messageLog_
//   Check1                             uploadAllowedBox_
//   Command1, Command1_Click           engineButton_ (hidden), Station::registerWithEngine()
//   Command2, Command2_Click           screenshotButton_, takeScreenshot()
//   Post_Packet, Post_Packet_Click     postButton_ (hidden), Station::postCurrentBody()
//   List1, List2                       hidden and empty; the import's files are importer().files()
//   List3                              transferStatesList_, showTransferStates()
//   Picture1, Picture1_Click           statusPicture_, openStatusWindow(); flushPanel() keeps it current
//   Picture2                           screenshotSurface_
//   menuBar                            buildMenus(): MnuFile, MnuOptions, MnuInfo
//   MnuImport, MnuImport_Click         importAction_, chooseImportFiles()
//     CommonDialog1                    the file dialog; its answer goes to importFiles()
//     ImportProgress                   importProgress_, showImportProgress()
//   MnuExportCsv                       exportCsv(); the chosen file goes to exportCsvTo()
//   MnuDebug, MnuDebug_Click           saveDebugFile()
//   MnuAbout, MnuAbout_Click           openAboutWindow()
//   MnuExit, MnuExit_Click             exitProgram()

#include <QDeadlineTimer>
#include <QFont>
#include <QMainWindow>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <optional>
#include <tuple>

#include "decode/beacon_table.h"
#include "station/kiss_import.h"
#include "station/station.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace varne4::ui {

class AboutWindow;
class ClickablePicture;
class LogBox;
class QtValueChart;
class StatusWindow;
class ValueChartView;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Shows the "Open Error" box. The default opens a non-blocking message box;
    // tests hand in their own.
    using ErrorPresenter = std::function<void(const QString& title, const QString& text)>;

    // Builds the window and starts the station. The station must outlive the window.
    MainWindow(Station& station, StationOptions options, ErrorPresenter showError = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up and its outcome.
    bool startUpSucceeded() const { return startedUp_; }
    int selectedSlot() const { return selectedSlot_; }

    // What the operator does, public so that tests and the benchmarks can drive it.
    // Marks the slot's option and box and charts its history; a slot without an
    // option clears every mark.
    void selectChartSlot(int slot);
    void RefreshValueChart(int slot);
    // Shows the panel texts and counter line that wait for the next pass of the event loop.
    void flushPanel();
    // Runs the panel and chart refreshes that wait for their timers now.
    void flushChartRefresh();
    // Once a second: the clock and the link icons.
    void onClockTick();
    void openStatusWindow();
    void openAboutWindow();
    void exitProgram();

    ValueChartView& chart();
    QPointer<StatusWindow> statusWindow() const { return statusWindow_; }
    QPointer<AboutWindow> aboutWindow() const { return aboutWindow_; }

    // What the file dialogs hand back once the user has confirmed them.
    void importFiles(const QStringList& files);
    void exportCsvTo(const QString& path);
    KissImport& importer() { return *importer_; }
    QProgressDialog* importProgress() const { return importProgress_; }

public slots:
    // Open the file dialogs; the work starts once a file is chosen.
    void chooseImportFiles();
    void exportCsv();
    void saveDebugFile();
    void takeScreenshot();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Layout (main_window_layout.cpp).
    void buildWindow();
    void buildMenus();
    void buildTopRow(QWidget* client);
    void buildStatusFrame(QWidget* client);
    void buildRowFrame(QWidget* client, const char* name, const char* caption, QRect geometry, int firstSlot,
                       int lastSlot, int optionLeft, int boxLeft, int unitLeft);
    void buildMemCheckFrame(QWidget* client);
    void buildBottomRows(QWidget* client);
    void buildHiddenControls(QWidget* client);
    void addSlot(QWidget* frame, int slot, QRect option, QRect box, QRect unit);

    // Lifecycle (main_window.cpp).
    void startUp(const StationOptions& options);
    void shutDown();
    void fitScreenshotSurface();
    void InitPanelCaptions();
    void connectStation();
    void requestChartRefresh();
    // A note in place of the clock (Label1) that the next ticks leave standing.
    void showClockNote(const QString& text, const QString& toolTip);
    void showTransferStates();
    // Every value box and option: label, unit, meaning and the value behind its text.
    void showSlotToolTips();
    // The time stamp of the newest housekeeping beacon; empty before the first.
    QString newestBeaconTime() const;
    // Label3 and the icons: the protocol, the link's state in words, its peer.
    void showLinkState();
    // Import (main_window_menu.cpp).
    void setUpImport();
    void showImportProgress(int fileIndex, int fileCount, quint64 records, quint64 bytesRead, quint64 fileSize);
    void openImportProgress();
    void importFinished();

    Station& station_;
    ErrorPresenter showError_;
    QWidget* client_ = nullptr;

    std::array<QLineEdit*, kPanelSlots> valueBoxes_{};
    std::array<QRadioButton*, kHousekeepingSlots> chartOptions_{};
    std::array<QLabel*, kHousekeepingSlots> unitLabels_{};
    std::array<QLabel*, 6> memCheckLabels_{};
    QLabel* clockLabel_ = nullptr;
    QLabel* beaconTypeLine_ = nullptr;
    QLabel* counterLine_ = nullptr;
    QLabel* timeLine_ = nullptr;
    QLabel* linkUpIcon_ = nullptr;
    QLabel* linkDownIcon_ = nullptr;
    QLabel* linkCaption_ = nullptr;
    QLabel* screenshotSurface_ = nullptr;
    ClickablePicture* statusPicture_ = nullptr;
    QLineEdit* uptimeBox_ = nullptr;
    LogBox* messageLog_ = nullptr;
    LogBox* statusLog_ = nullptr;
    LogBox* hexMonitor_ = nullptr;
    QCheckBox* uploadAllowedBox_ = nullptr;
    QPushButton* engineButton_ = nullptr;
    QPushButton* screenshotButton_ = nullptr;
    QPushButton* postButton_ = nullptr;
    QListWidget* transferStatesList_ = nullptr;
    QtValueChart* valueChart_ = nullptr;
    QTimer clockTimer_;
    QTimer chartTimer_;
    QFont clockFont_;
    QFont linkCaptionFont_;
    QFont valueFont_; // of the value boxes as laid out; a long text gets a smaller one
    std::optional<QDeadlineTimer> clockNoteUntil_;

    QAction* importAction_ = nullptr;
    KissImport* importer_ = nullptr;
    QPointer<QProgressDialog> importProgress_; // only once an import has run half a second
    QTimer importProgressDelay_;
    std::optional<std::tuple<int, int, quint64, quint64, quint64>> lastImportProgress_;

    QPointer<StatusWindow> statusWindow_;
    QPointer<AboutWindow> aboutWindow_;

    int selectedSlot_ = 0;
    QTimer panelTimer_;
    bool panelDirty_ = false;
    bool statusDirty_ = false; // a housekeeping beacon the status window has not shown
    std::size_t pendingMessages_ = 0;
    std::optional<QString> pendingCounterLine_;
    bool startedUp_ = false;
    bool shutDownDone_ = false;
};

} // namespace varne4::ui
