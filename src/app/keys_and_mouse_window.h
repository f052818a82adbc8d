#pragma once

#include <QDialog>
#include <QList>
#include <QPair>
#include <QVector>

class QAction;
class QTableWidget;

// A small window (Escape closes it) listing every key of the main window and of the view, and what the mouse
// does in each control method. The window's keys come from its actions' shortcuts, so the list stays true.
class KeysAndMouseWindow : public QDialog {
    Q_OBJECT

  public:
    KeysAndMouseWindow(const QList<QAction *> &actions, const QVector<QPair<QString, QString>> &viewRows,
                       QWidget *parent = nullptr);

    QTableWidget &table() { return *m_table; }

  private:
    QTableWidget *m_table;
};
