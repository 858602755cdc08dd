#pragma once

#include <QObject>

// Lets a designer restyle the running application: once a second it reads "app.css" from the
// working directory and, whenever its text differs from the text it applied last, makes that
// text the application's whole style sheet.
class QUpdateSkinWidget : public QObject
{
    Q_OBJECT
public:
    explicit QUpdateSkinWidget(QObject* parent = nullptr);

public slots:
    void update_style();
};
