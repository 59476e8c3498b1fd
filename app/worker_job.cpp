#include "app/worker_job.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <atomic>
#include <thread>

#include "app/progress_dialog.h"

namespace axtune {
namespace {
std::atomic<bool> g_linkLent{false};
}  // namespace

void RunWithProgress(CProgressDialog& dialog, const std::function<void()>& work) {
  std::thread worker([&dialog, &work] {
    work();
    // Queued: even work that ends before the dialog's loop has started closes it.
    PostToGui(&dialog, [&dialog] { dialog.Finish(); });
  });
  dialog.exec();
  worker.join();
}

void PostToGui(QObject* context, std::function<void()> fn) {
  QMetaObject::invokeMethod(context, std::move(fn), Qt::QueuedConnection);
}

void RunOnGui(QObject* context, const std::function<void()>& fn) {
  if (QThread::currentThread() == context->thread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(context, fn, Qt::BlockingQueuedConnection);
}

bool DriveLinkLentToWorker() {
  return g_linkLent.load();
}

void SetDriveLinkLentToWorker(bool lent) {
  g_linkLent = lent;
}

}  // namespace axtune
