#pragma once

#include "qt/product_frame.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace orvane {

// The product web page, opened from the About window's link.
inline constexpr const char* ProductWebPage = "https://orvane.example.org/";

// lblURL: a label that reports the pointer moving over it and clicks.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    LinkLabel(const QString& text, QWidget* parent);

signals:
    void mouseMoved();
    void clicked();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

// The About window: product name, version, and the link to the product web
// page. Modeless, one at a time; closing it deletes it.
class frmAbout : public QWidget {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);
    ~frmAbout() override;

    // Shows the About window, loading it first when none is open, and brings
    // it forward.
    static frmAbout* showModeless();
    // The open About window, if any.
    static frmAbout* instance();

    void cmdExit_Click();
    void Frame1_Click();
    void lblURL_Click();
    void lblURL_MouseMove();
    void Frame1_MouseMove();

    ProductFrame* Frame1;
    QLabel* imgLogo;
    QLabel* lblCompanyProduct;
    QLabel* lblProductName;
    QLabel* lblVersion;
    LinkLabel* lblURL;
    QLabel* lblWarning;
    QPushButton* cmdExit;

private:
    void Form_Load();
    void buildControls();
    void placeControls();
    void setLinkUnderline(bool on);
};

} // namespace orvane
