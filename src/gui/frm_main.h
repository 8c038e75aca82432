#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "core/context.h"
#include "core/options.h"
#include "core/window_ops.h"

class QCheckBox;
class QDialog;
class QFont;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace chatterwick::gui {

// The main window. It draws the controls and forwards its five events to the
// core; every change the core makes comes back through WindowOps.
class FrmMain : public QWidget, public WindowOps {
 public:
  // log, catalogue and env must outlive the window.
  FrmMain(LoadedLog& log, Catalogue& catalogue, Env& env);

  // The load event: acts on the command line before the window shows.
  void Load(const std::string& argument_text);

  // The modal boxes go through these, so tests can answer them. Without an
  // input box set, the window's own path box asks.
  using InputBoxFn = std::function<std::string(const std::string& prompt, const std::string& title,
                                               const std::string& default_answer)>;
  using MessageBoxFn = std::function<void(const std::string& text, const std::string& title)>;
  void SetInputBox(InputBoxFn fn) { input_box_ = std::move(fn); }
  // The warning box too, unless SetWarningBox follows.
  void SetMessageBox(MessageBoxFn fn) {
    message_box_ = fn;
    warning_box_ = std::move(fn);
  }
  void SetWarningBox(MessageBoxFn fn) { warning_box_ = std::move(fn); }

  // The desktop's choosers and file manager, so tests can stand in for them.
  // A chooser returns the chosen path, or the empty text when cancelled.
  enum class Choose { kLogToOpen, kFileToSave, kFolder };
  using ChooserFn = std::function<QString(Choose what, const QString& start_folder)>;
  using OpenFolderFn = std::function<void(const QString& folder)>;
  void SetChooser(ChooserFn fn) { chooser_ = std::move(fn); }
  void SetOpenFolder(OpenFolderFn fn) { open_folder_ = std::move(fn); }

  // Set by the program (not by tests): signals received during a command
  // stop it, then end the program.
  void SetStopFlag(const std::atomic<int>* stop) {
    stop_signal_ = stop;
    ctx_.stop = stop;
  }

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
  void CreateLogControls();
  void CreateFolderRunControls();
  void SetTabOrder();
  void ConnectButtons();
  void CreateFolderChooser();
  void CreateStatusLine();
  void BuildFindBar();
  void CreateShortcuts();
  void CreateArchiveButton();
  // Opens the archive window over the archive chatterwick-cli archive writes
  // by default, or brings it to the front.
  void OpenArchive();
  // Names w and sets its geometry, given in twips.
  void Place(QWidget* w, const char* name, int left, int top, int width, int height);
  QLabel* AddLabel(const char* name, const char* caption, int left, int top, int width, int height,
                   const QFont& font);
  // The prompt of the three path boxes: the text, and a Browse button.
  std::string PathBox(const std::string& prompt, const std::string& title,
                      const std::string& default_answer);
  void ChooseFolder();
  void ShowFindBar();
  // Moves to the next (or previous) match of the find box, wrapping round.
  void FindNext(bool backwards);
  void UpdateMatchCount();
  // Shows the pane's text from position on, when it lies below the view.
  void ScrollIntoView(int position);
  // Runs a command with the busy cursor showing.
  void Run(const std::function<void()>& command);
  // The box's exec, cut short when a stop is asked for.
  int ExecUntilStopped(QDialog& box);

  Context ctx_;
  const std::atomic<int>* stop_signal_ = nullptr;
  std::string pane_;  // the pane's bytes; the widget shows them decoded
  InputBoxFn input_box_;
  MessageBoxFn message_box_, warning_box_;
  ChooserFn chooser_;
  OpenFolderFn open_folder_;
  // What a Browse button in the path box chooses, set by the command.
  Choose path_box_kind_ = Choose::kLogToOpen;
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
  QWidget* find_bar_ = nullptr;
  QLineEdit* find_edit_ = nullptr;
  QLabel* find_count_ = nullptr;
  QPushButton* archive_button_ = nullptr;
  QPointer<QWidget> archive_window_;
};

}  // namespace chatterwick::gui
