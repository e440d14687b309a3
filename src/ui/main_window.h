#pragma once
// The main window: a view of the station. It shows the station's state and
// forwards the operator's commands; the telemetry work happens in the station.
//
// Controls carry the names the operators' documentation uses. A control array
// element is named with its index after an underscore (Text1(14) is "Text1_14",
// Option1(3) is "Option1_3", Label2(0) is "Label2_0"); single controls keep their
// plain names ("Label5", "Text3", "Frame5", "MSChart1", "Check1", "Command2").

#include <QMainWindow>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <optional>

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

    // Builds the window and runs Form_Load. The station must outlive the window.
    MainWindow(Station& station, StationOptions options, ErrorPresenter showError = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up and its outcome.
    bool startUpSucceeded() const { return startedUp_; }
    int selectedSlot() const { return selectedSlot_; }

    // Handlers, public so that tests and the benchmark can drive them.
    void Option1_Click(int index);
    void RefreshValueChart(int slot);
    // Shows the panel texts and counter line that wait for the next pass of the event loop.
    void flushPanel();
    // Runs the panel and chart refreshes that wait for their timers now.
    void flushChartRefresh();
    void Timer1_Timer();
    void Picture1_Click();
    void MnuAbout_Click();
    void MnuExit_Click();

    ValueChartView& chart();
    QPointer<StatusWindow> statusWindow() const { return statusWindow_; }
    QPointer<AboutWindow> aboutWindow() const { return aboutWindow_; }

    // What the file dialogs hand back once the user has confirmed them.
    void importFilesChosen(const QStringList& files);
    void exportCsvTo(const QString& path);
    KissImport& importer() { return *import_; }
    QProgressDialog* importProgress() const { return importProgress_; }

public slots:
    void MnuImport_Click();
    void MnuDebug_Click();
    void Command2_Click();
    void MnuExportCsv_Click();

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
    void Form_Load(const StationOptions& options);
    void Form_QueryUnload();
    void Form_Unload();
    void Form_Resize();
    void InitPanelCaptions();
    void connectStation();
    void requestChartRefresh();
    void showTransferStates();
    // Import, debug file, screenshot, CSV (main_window_menu.cpp).
    void setUpImport();
    void showImportProgress(int fileIndex, int fileCount, quint64 records, quint64 bytesRead, quint64 fileSize);
    void importFinished();

    Station& station_;
    ErrorPresenter showError_;
    QWidget* client_ = nullptr;

    std::array<QLineEdit*, kPanelSlots> text1_{};
    std::array<QRadioButton*, kHousekeepingSlots> option1_{};
    std::array<QLabel*, kHousekeepingSlots> label2_{};
    std::array<QLabel*, 6> memLabels_{}; // Label21 .. Label26
    QLabel* label1_ = nullptr;           // clock
    QLabel* label5_ = nullptr;           // beacon-type line
    QLabel* label7_ = nullptr;           // counter line
    QLabel* label8_ = nullptr;           // time line
    QLabel* image2_ = nullptr;           // link up
    QLabel* image3_ = nullptr;           // link down
    QLabel* picture2_ = nullptr;         // screenshot surface
    ClickablePicture* picture1_ = nullptr;
    QLineEdit* text4_ = nullptr; // uptime
    LogBox* text6_ = nullptr;    // messages
    LogBox* text3_ = nullptr;    // status log
    LogBox* text2_ = nullptr;    // hex monitor
    QCheckBox* check1_ = nullptr;
    QPushButton* command1_ = nullptr;
    QPushButton* command2_ = nullptr;
    QPushButton* postPacket_ = nullptr;
    QListWidget* list3_ = nullptr;
    QtValueChart* chart_ = nullptr;
    QTimer timer1_;
    QTimer chartTimer_;

    QAction* mnuImport_ = nullptr;
    KissImport* import_ = nullptr;
    QPointer<QProgressDialog> importProgress_;

    QPointer<StatusWindow> statusWindow_;
    QPointer<AboutWindow> aboutWindow_;

    int selectedSlot_ = 0;
    QTimer panelTimer_;
    bool panelDirty_ = false;
    std::size_t pendingMessages_ = 0;
    std::optional<QString> pendingCounterLine_;
    bool startedUp_ = false;
    bool unloaded_ = false;
};

} // namespace varne4::ui
