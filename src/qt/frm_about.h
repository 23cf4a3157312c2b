#pragma once

#include "desktop/about_form.h"
#include "qt/product_frame.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace orvane {

// lblURL: a label that reports the pointer moving over it and clicks. It
// takes the keyboard focus by Tab, and Enter or Space then act as a click.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    LinkLabel(const QString& text, QWidget* parent);

    // A click by keyboard or assistive technology.
    void activate() { emit clicked(); }

signals:
    void mouseMoved();
    void clicked();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool pressed_ = false;
};

// The About window on Qt: product name, version, and the link to the product
// web page. Modeless, one at a time; closing it deletes it.
class frmAbout : public QWidget, public AboutForm {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);
    ~frmAbout() override;

    // Shows the About window, loading it first when none is open, and brings
    // it forward.
    static frmAbout* showModeless();
    // The open About window, if any.
    static frmAbout* instance();

    ProductFrame* Frame1;
    QLabel* imgLogo;
    QLabel* lblCompanyProduct;
    QLabel* lblProductName;
    QLabel* lblVersion;
    LinkLabel* lblURL;
    QLabel* lblWarning;
    QPushButton* cmdExit;

protected:
    void keyPressEvent(QKeyEvent* event) override; // Escape: as Exit

private:
    void buildControls();
    void placeControls();
    void showVersion(const std::string& caption) override;
    void showLinkUnderline(bool on) override;
    void closeWindow() override;
    void openWebPage(const std::string& address) override;
};

} // namespace orvane
