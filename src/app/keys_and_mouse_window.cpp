#include "app/keys_and_mouse_window.h"

#include <QAction>
#include <QHeaderView>
#include <QRegularExpression>
#include <QTableWidget>
#include <QVBoxLayout>

KeysAndMouseWindow::KeysAndMouseWindow(const QList<QAction *> &actions,
                                       const QVector<QPair<QString, QString>> &viewRows, QWidget *parent)
    : QDialog(parent), m_table(new QTableWidget(0, 2, this)) {
    setObjectName(QStringLiteral("keysAndMouseWindow"));
    setWindowTitle(QStringLiteral("Keys and mouse"));
    QVector<QPair<QString, QString>> rows;
    for (const QAction *action : actions) {
        if (action->shortcut().isEmpty())
            continue;
        // The tool tip says more than the button's text; its "(key)" ending is the other column.
        QString what = action->toolTip();
        what.remove(QRegularExpression(QStringLiteral(R"( \(.*\)$)")));
        rows.append({action->shortcut().toString(QKeySequence::NativeText), what});
    }
    rows += viewRows;
    rows.append(
        {QStringLiteral("Timeline: click or drag"), QStringLiteral("Show that frame of the sequence")});

    m_table->setHorizontalHeaderLabels({QStringLiteral("Key or mouse"), QStringLiteral("What it does")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setRowCount(rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        m_table->setItem(r, 0, new QTableWidgetItem(rows.at(r).first));
        m_table->setItem(r, 1, new QTableWidgetItem(rows.at(r).second));
    }
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->resizeColumnToContents(0);
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
    resize(720, 640);
}
