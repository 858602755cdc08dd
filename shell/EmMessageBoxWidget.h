#pragma once

#include "EmWindowChrome.h"
#include "ui_EmMessageBoxWidget.h"

#include <QWidget>

// A small modeless frameless card with a picture, a title, a wrapped detail text and a confirm
// button that closes it. Kind 1 shows errors, kind 2 is the about box. Every box deletes itself
// when it closes.
class EmMessageBoxWidget : public QWidget, private Ui::EmMessageBoxWidget
{
    Q_OBJECT
public:
    explicit EmMessageBoxWidget(int kind, QWidget* parent = nullptr);
    ~EmMessageBoxWidget() override;

    // The one error box, shared by every error until it closes; the next error then gets a new one.
    static EmMessageBoxWidget* instance();

    void set_kind(int kind);
    // Both texts are shown as plain text: they may come from the service. The window's title
    // follows them ("title：detail").
    void set_title(const QString& text);
    void set_detail(const QString& text);

signals:
    void message_box_close();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void name_window();

    static EmMessageBoxWidget* shared_box;

    int kind;
    EmWindowChrome chrome{12};
};
