#include "qt/qt_ui_host.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>

namespace orvane {

namespace {

// The message box styles' icon part (16, 32, 48, 64).
QMessageBox::Icon iconForStyle(int style)
{
    switch (style & 0x70) {
    case 16: return QMessageBox::Critical;
    case 32: return QMessageBox::Question;
    case 48: return QMessageBox::Warning;
    case 64: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

} // namespace

QtUiHost::QtUiHost(QWidget* owner)
    : owner_(owner)
{
}

QtUiHost::~QtUiHost()
{
    setMousePointer(PointerDefault);
}

void QtUiHost::yield()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtUiHost::messageBox(const std::string& text, int style, const std::string& title)
{
    QMessageBox box(iconForStyle(style), QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::Ok, owner_.data());
    box.exec();
}

// An override cursor rather than the window's own: the line edit and buttons
// set cursors of their own that would hide the hourglass over them.
void QtUiHost::setMousePointer(int code)
{
    const bool wantHourglass = code == PointerHourglass;
    if (wantHourglass == hourglass_)
        return;
    hourglass_ = wantHourglass;
    if (wantHourglass)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

// Queued behind the events already waiting, so the tick never runs inside the
// handler that asked for it; requests made before it runs are one tick.
void QtUiHost::requestTick()
{
    if (!hasTickHandler() || tickPosted_)
        return;
    tickPosted_ = true;
    QMetaObject::invokeMethod(
        &tickContext_,
        [this] {
            tickPosted_ = false;
            runRequestedTick();
        },
        Qt::QueuedConnection);
}

// A queued call to an object of the window thread: Qt hands it over from any
// thread, in order, and drops it if the object has gone.
void QtUiHost::post(std::function<void()> call)
{
    QMetaObject::invokeMethod(&tickContext_, std::move(call), Qt::QueuedConnection);
}

std::string toNativePath(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}

QString fromNativePath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace orvane
