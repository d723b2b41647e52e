// Finds the texts of a window that do not fit the room their widget gives them: labels (cut by
// their own size, by their parent's edge or by a sibling painted over them), push buttons, check
// boxes and radio buttons, group box titles, combo box items, list headers and list cells. Every
// text is measured with the font the widget really paints it in. Header-only, like GuiPump.h.
#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOption>
#include <QTableWidget>
#include <QWidget>

#include <algorithm>
#include <string>
#include <vector>

namespace guitest {

using TextFaults = std::vector<std::string>;

namespace fit {

inline std::string NameOf(const QWidget* w) {
    std::string name = w->metaObject()->className();
    if (!w->objectName().isEmpty()) name += " " + w->objectName().toStdString();
    return name;
}

inline void Report(TextFaults& faults, const QWidget* w, const QString& text, int need, int room) {
    faults.push_back(NameOf(w) + " \"" + text.toStdString() + "\": needs " + std::to_string(need) +
                     " px, has " + std::to_string(room));
}

inline int Advance(const QFontMetrics& fm, QString text) {
    text.remove(QLatin1Char('&'));
    return fm.horizontalAdvance(text);
}

// The rectangle, in the label's coordinates, that its text takes when painted.
inline QRect LabelTextRect(const QLabel* label) {
    const QRect room = label->contentsRect();
    const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
    return label->fontMetrics().boundingRect(room, flags | Qt::TextExpandTabs, label->text());
}

// A label's text must lie inside its own rectangle, inside its parent and under no visible
// sibling (a sibling created later is painted over it).
inline void CheckLabel(const QLabel* label, TextFaults& faults) {
    if (label->text().isEmpty() || label->textFormat() == Qt::RichText) return;
    const QRect room = label->contentsRect();
    const QRect text = LabelTextRect(label);
    if (!room.contains(text)) {
        Report(faults, label, label->text(), label->wordWrap() ? text.height() : text.width(),
               label->wordWrap() ? room.height() : room.width());
        return;
    }
    if (label->wordWrap()) {
        for (const QString& word : label->text().split(QRegularExpression(QStringLiteral("\\s+"))))
            if (const int need = label->fontMetrics().horizontalAdvance(word); need > room.width())
                Report(faults, label, word, need, room.width());
    }
    const QWidget* parent = label->parentWidget();
    if (!parent) return;
    const QRect onParent = text.translated(label->pos());
    const std::string what = NameOf(label) + " \"" + label->text().toStdString() + "\"";
    if (!parent->rect().contains(onParent))
        faults.push_back(what + " runs out of " + NameOf(parent));
    for (const QWidget* sibling : parent->findChildren<const QWidget*>(Qt::FindDirectChildrenOnly))
        if (sibling != label && sibling->isVisible() && !sibling->isWindow() &&
            sibling->geometry().intersects(onParent))
            faults.push_back(what + " lies under " + NameOf(sibling));
}

// The room the style leaves for a button's text, beside its icon or its indicator.
inline void CheckButton(const QAbstractButton* button, QStyle::SubElement contents,
                        TextFaults& faults) {
    if (button->text().isEmpty()) return;
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    const QRect room = button->style()->subElementRect(contents, &option, button);
    int need = Advance(button->fontMetrics(), button->text());
    if (!button->icon().isNull()) need += button->iconSize().width() + 4;
    if (need > room.width()) Report(faults, button, button->text(), need, room.width());
}

inline void CheckGroupBox(const QGroupBox* box, TextFaults& faults) {
    if (box->title().isEmpty()) return;
    const int need = Advance(box->fontMetrics(), box->title()) + 16;
    if (need > box->width()) Report(faults, box, box->title(), need, box->width());
}

inline void CheckComboBox(const QComboBox* box, TextFaults& faults) {
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = box->isEditable();
    const QRect room = box->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                    QStyle::SC_ComboBoxEditField, box);
    for (int i = 0; i < box->count(); ++i) {
        const int need = Advance(box->fontMetrics(), box->itemText(i));
        if (need > room.width()) Report(faults, box, box->itemText(i), need, room.width());
    }
}

inline void CheckHeader(const QHeaderView* header, const QAbstractItemModel* model,
                        TextFaults& faults) {
    for (int section = 0; section < header->count(); ++section) {
        if (header->isSectionHidden(section)) continue;
        const QString text = model->headerData(section, Qt::Horizontal).toString();
        if (text.isEmpty()) continue;
        QStyleOptionHeader option;
        option.initFrom(header);
        option.rect = QRect(0, 0, header->sectionSize(section), header->height());
        option.text = text;
        option.section = section;
        const QRect room = header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header);
        const int need = Advance(header->fontMetrics(), text);
        if (need > room.width()) Report(faults, header, text, need, room.width());
    }
}

// The room of a cell is what the item view style leaves for the text beside a check indicator,
// less the margins it draws the text within.
inline void CheckCells(const QTableWidget* view, TextFaults& faults) {
    QStyle* style = view->style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    for (int row = 0; row < view->rowCount(); ++row) {
        for (int column = 0; column < view->columnCount(); ++column) {
            const QTableWidgetItem* item = view->item(row, column);
            if (!item || item->text().isEmpty() || view->isColumnHidden(column)) continue;
            // A cell without a font of its own is painted in the list's font.
            const QFont font = item->data(Qt::FontRole).isValid() ? item->font() : view->font();
            QStyleOptionViewItem option;
            option.initFrom(view);
            option.font = font;
            option.fontMetrics = QFontMetrics(font);
            option.features = QStyleOptionViewItem::HasDisplay;
            // Only a cell with a check state shows a check box.
            if (item->data(Qt::CheckStateRole).isValid()) {
                option.features |= QStyleOptionViewItem::HasCheckIndicator;
                option.checkState = item->checkState();
            }
            option.text = item->text();
            // The grid line takes the last pixel of the cell.
            const int grid = view->showGrid() ? 1 : 0;
            option.rect = QRect(0, 0, view->columnWidth(column) - grid, view->rowHeight(row));
            option.widget = view;
            const QRect room = style->subElementRect(QStyle::SE_ItemViewItemText, &option, view);
            const int need = QFontMetrics(font).horizontalAdvance(item->text());
            if (need > room.width() - 2 * margin)
                Report(faults, view, item->text(), need, room.width() - 2 * margin);
        }
    }
}

} // namespace fit

// Every text of the window's visible widgets that does not fit, one line each.
inline TextFaults ClippedTexts(const QWidget& window) {
    TextFaults faults;
    QList<const QWidget*> widgets{&window};
    for (const QWidget* w : window.findChildren<const QWidget*>())
        if (w->isVisible() && !w->isWindow()) widgets.push_back(w);
    for (const QWidget* w : widgets) {
        if (const auto* label = qobject_cast<const QLabel*>(w))
            fit::CheckLabel(label, faults);
        else if (const auto* button = qobject_cast<const QPushButton*>(w))
            fit::CheckButton(button, QStyle::SE_PushButtonContents, faults);
        else if (const auto* check = qobject_cast<const QCheckBox*>(w))
            fit::CheckButton(check, QStyle::SE_CheckBoxContents, faults);
        else if (const auto* radio = qobject_cast<const QRadioButton*>(w))
            fit::CheckButton(radio, QStyle::SE_RadioButtonContents, faults);
        else if (const auto* box = qobject_cast<const QGroupBox*>(w))
            fit::CheckGroupBox(box, faults);
        else if (const auto* combo = qobject_cast<const QComboBox*>(w))
            fit::CheckComboBox(combo, faults);
        else if (const auto* table = qobject_cast<const QTableWidget*>(w)) {
            fit::CheckHeader(table->horizontalHeader(), table->model(), faults);
            fit::CheckCells(table, faults);
        }
    }
    return faults;
}

// The faults one to a line, for a test's failure message.
inline std::string Described(const TextFaults& faults) {
    std::string text;
    for (const std::string& fault : faults)
        text += "\n  " + fault;
    return text;
}

// The family the font resolves to on this machine: the tests must measure with the installed
// fonts the programs name, not with a fallback.
inline std::string ResolvedFamily(const QFont& font) {
    return QFontInfo(font).family().toStdString();
}

} // namespace guitest
