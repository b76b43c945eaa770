#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <memory>

#include "controls/EditableListCtrl.h"

// A dialog holding a two-column list with four rows ("caption k", "data k"), an OK button
// that is the dialog's default, and another control to move the focus to.
class ListFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        dialog = std::make_unique<QDialog>();
        auto* layout = new QVBoxLayout(dialog.get());
        list = new CEditableListCtrl(dialog.get());
        other = new QLineEdit(dialog.get());
        ok = new QPushButton(QStringLiteral("OK"), dialog.get());
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, dialog.get(), &QDialog::accept);
        layout->addWidget(list);
        layout->addWidget(other);
        layout->addWidget(ok);
        list->InsertColumn(0, QStringLiteral("Caption"), COLUMN_LEFT, 120);
        list->InsertColumn(1, QStringLiteral("Data"), COLUMN_LEFT, 160);
        for (int row = 0; row < 4; ++row) {
            list->InsertItem(row, QStringLiteral("caption %1").arg(row));
            list->SetItemText(row, 1, QStringLiteral("data %1").arg(row));
        }
        dialog->resize(420, 320);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        editor = list->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
    }

    QPoint Cell(int row, int column) const
    {
        return list->visualRect(list->model()->index(row, column)).center();
    }

    void Click(int row, int column, Qt::MouseButton button = Qt::LeftButton,
        Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::mouseClick(list->viewport(), button, modifiers, Cell(row, column));
    }

    // What the window system delivers for a double-click: press, release, double-click, release.
    void DoubleClickAt(QPoint pos, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(list->viewport(), button, Qt::NoModifier, pos);
        QTest::mouseDClick(list->viewport(), button, Qt::NoModifier, pos);
        QTest::mouseRelease(list->viewport(), button, Qt::NoModifier, pos);
    }

    void DoubleClick(int row, int column, Qt::MouseButton button = Qt::LeftButton)
    {
        DoubleClickAt(Cell(row, column), button);
    }

    void ClickCheckBox(int row)
    {
        const QRect box = list->CheckBoxRect(row);
        ASSERT_FALSE(box.isEmpty());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
    }

    bool Editing(int row, int column) const
    {
        return editor->isVisible() && list->GetEditItem() == row && list->GetEditSubItem() == column;
    }

    std::unique_ptr<QDialog> dialog;
    CEditableListCtrl* list = nullptr;
    QLineEdit* other = nullptr;
    QPushButton* ok = nullptr;
    QLineEdit* editor = nullptr;
};
