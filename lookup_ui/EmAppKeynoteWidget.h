#pragma once

#include "ui_EmAppKeynoteWidget.h"

#include <QPushButton>
#include <QString>

class EmAppEntry;

// The header row of one running player: its logo, current song and singer, and the first key
// found for it. Clicking it searches that player's song again. Rows delete themselves when closed.
class EmAppKeynoteWidget : public QPushButton, private Ui::EmAppKeynoteWidget
{
    Q_OBJECT
public:
    // The entry belongs to the player watcher and outlives the row.
    EmAppKeynoteWidget(EmAppEntry* entry, QWidget* parent);

    void set_music_info(const QString& music_name, const QString& music_author, const QString& music_keynote);
    void set_keynote(const QString& music_keynote);
    QString exe_name() const;

public slots:
    void app_keynote_clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void relayout_labels();

    EmAppEntry* const app_entry;
};
