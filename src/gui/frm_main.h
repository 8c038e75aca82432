#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "core/context.h"
#include "core/options.h"
#include "core/window_ops.h"
#include "gui/dialogs.h"
#include "gui/main_layout.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace chatterwick::gui {

class FindBar;

// The main window. It draws the controls and forwards its five events to the
// core; every change the core makes comes back through WindowOps, and every
// box it shows goes through Dialogs.
class FrmMain : public QWidget, public WindowOps {
 public:
  // log, catalogue and env must outlive the window.
  FrmMain(LoadedLog& log, Catalogue& catalogue, Env& env);
  ~FrmMain() override;

  // The load event: acts on the command line before the window shows.
  void Load(const std::string& argument_text);

  // Set by the program (not by tests): signals received during a command
  // stop it, then end the program.
  void SetStopFlag(const std::atomic<int>* stop);

  // The settings as the controls hold them now.
  CatalogueOptions CatalogueSettings() const;
  ExportOptions ExportSettings() const;

  // WindowOps
  void AppendToPane(std::string_view text) override;
  void ClearPane() override;
  std::string PaneText() const override { return pane_; }
  void SetTitle(const std::string& caption) override;
  void EnableSaveButtons() override;
  void DisableSaveButtons() override;
  void WarningBox(const std::string& text, const std::string& title) override;
  void ShowStatus(const std::string& text, const std::string& folder) override;
  std::string InputBox(const std::string& prompt, const std::string& title,
                       const std::string& default_answer) override;
  void MessageBox(const std::string& text, const std::string& title) override;

  // Twips to pixels at this screen's logical resolution.
  int Px(int twips) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Build();
  // Makes the control the layout table names, in its place and face.
  template <typename T>
  T* Make(const layout::Control& control);
  void CreateControls();
  void SetTabOrder();
  void ConnectButtons();
  void CreateFolderChooser();
  void CreateStatusLine();
  void CreateShortcuts();
  void CreateArchiveButton();
  // Opens the archive window over the archive chatterwick-cli archive writes
  // by default, or brings it to the front.
  void OpenArchive();
  void ChooseFolder();
  // Shows the pane's text from position on, when it lies below the view.
  void ScrollIntoView(int position);
  // Runs a command with the busy cursor showing.
  void Run(const std::function<void()>& command);

  Context ctx_;
  const std::atomic<int>* stop_signal_ = nullptr;
  std::string pane_;  // the pane's bytes; the widget shows them decoded
  // What a path box's Browse button chooses, set by the command.
  Dialogs::Choose path_box_kind_ = Dialogs::Choose::kLogToOpen;
  // Where the last path chosen lies: the next chooser starts there.
  QString last_folder_;
  QString status_folder_;

  QLineEdit* mask_edit_ = nullptr;
  QLineEdit* folder_edit_ = nullptr;
  QCheckBox* bom_check_ = nullptr;
  QPushButton* folder_run_button_ = nullptr;
  QPushButton* save_csv_button_ = nullptr;
  QPushButton* save_text_button_ = nullptr;
  QPlainTextEdit* output_pane_ = nullptr;
  QPushButton* load_button_ = nullptr;
  QLabel* title_label_ = nullptr;
  QLabel* status_label_ = nullptr;
  FindBar* find_bar_ = nullptr;
  QPushButton* archive_button_ = nullptr;
  QPointer<QWidget> archive_window_;
};

}  // namespace chatterwick::gui
