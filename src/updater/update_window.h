#pragma once
// The updater's progress window. It only shows what the download thread
// reports; the download itself lives in UpdateJob.

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

#include "updater/update_job.h"
#include "updater/update_rules.h"

class QLabel;
class QAbstractButton;

namespace lumivex {

inline const char* const kUpdateDownloadFailed = "下载更新失败，请稍后重试";
inline const char* const kUpdateStartFailed = "安装更新失败，请稍后重试";

class UpdateWindow : public QDialog {
  Q_OBJECT

 public:
  // Shows text to the user and returns when it has been read.
  using MessagePresenter = std::function<void(QWidget* parent, const QString& text)>;

  // A message box titled "提示".
  static void ShowMessage(QWidget* parent, const QString& text);

  // Starts the download at once when the command line gives an address.
  UpdateWindow(const UpdateCommandLine& command, UpdateJobOptions options,
               MessagePresenter presenter = &UpdateWindow::ShowMessage, QWidget* parent = nullptr);
  ~UpdateWindow() override;

  int percent() const { return percent_; }

 public slots:
  void ShowAbout();
  void reject() override;  // "取消", and closing the window

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void ShowPercent(int percent);
  void Finish(const UpdateResult& result);

  MessagePresenter presenter_;
  QLabel* percentLabel_ = nullptr;
  QAbstractButton* cancelButton_ = nullptr;
  int percent_ = 0;
  bool dragging_ = false;
  QPoint dragOffset_;
  std::unique_ptr<UpdateJob> job_;  // last: it reports into the members above
};

}  // namespace lumivex
