// Data-aware choices: the tick box of a flag, the radio group of an answer
// with fixed values, and the five-grade group of a graded question.
#include <QButtonGroup>
#include <QEvent>
#include <QGridLayout>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <algorithm>

#include "shell/db_controls.h"

namespace sarvenu {

namespace {

QString WithoutAccelerator(QString caption) {
    return caption.remove(QChar('&'));
}

// Keeps the accessible names of a group's buttons in step with the group's
// own: builders may name the group after creating it, and the names count
// once the group is polished for showing.
class TButtonNames : public QObject {
  public:
    TButtonNames(QGroupBox* group, std::vector<QRadioButton*> buttons)
        : QObject(group), group_(group), buttons_(std::move(buttons)) {
        Apply();
        group->installEventFilter(this);
    }
    void Apply() {
        for (QRadioButton* button : buttons_)
            button->setAccessibleName(group_->accessibleName() + "-" +
                                      WithoutAccelerator(button->text()));
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == group_ && (event->type() == QEvent::Polish || event->type() == QEvent::Show))
            Apply();
        return false;
    }

  private:
    QGroupBox* group_;
    std::vector<QRadioButton*> buttons_;
};

// The exclusive button group of a radio group (ids are the item indexes).
QButtonGroup* ButtonsOf(const QGroupBox* box) {
    return box->findChild<QButtonGroup*>(QString(), Qt::FindDirectChildrenOnly);
}

// Unchecks every button of an exclusive group: no item chosen.
void UncheckAll(QButtonGroup* group) {
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons()) button->setChecked(false);
    group->setExclusive(true);
}

}  // namespace

TDBCheckBox::TDBCheckBox(QWidget* parent, const QString& objectName, const QString& caption)
    : QCheckBox(caption, parent), link_([this] { Refresh(); }) {
    setObjectName(objectName);
    connect(this, &QCheckBox::clicked, this, [this](bool checked) {
        if (refreshing_) return;
        link_.Write(checked ? "1" : "0");
        if (OnClick) OnClick();
    });
}

void TDBCheckBox::Refresh() {
    QScopedValueRollback<bool> refreshing(refreshing_, true);
    setChecked(link_.Read() == "1");
}

TDBRadioGroup::TDBRadioGroup(QWidget* parent, const QString& objectName, const QString& caption,
                             const std::vector<QString>& captions,
                             const std::vector<std::string>& values, int columns)
    : QGroupBox(caption, parent), link_([this] { Refresh(); }) {
    setObjectName(objectName);
    setAccessibleName(WithoutAccelerator(caption));
    const size_t count = std::min(captions.size(), values.size());
    values_.assign(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count));

    auto* buttons = new QButtonGroup(this);
    buttons->setExclusive(true);
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setSpacing(2);
    // Items fill the columns top to bottom, one column after the other.
    const int columnTotal = std::max(columns, 1);
    const int perColumn =
        std::max<int>(1, (static_cast<int>(count) + columnTotal - 1) / columnTotal);
    std::vector<QRadioButton*> created;
    for (size_t i = 0; i < count; ++i) {
        const int index = static_cast<int>(i);
        auto* button = new QRadioButton(captions[i], this);
        button->setObjectName(objectName + "_" + QString::number(index));
        buttons->addButton(button, index);
        layout->addWidget(button, index % perColumn, index / perColumn);
        created.push_back(button);
        connect(button, &QRadioButton::toggled, this, [this, index](bool on) {
            if (!on || refreshing_) return;
            link_.Write(values_[static_cast<size_t>(index)]);
            if (OnClick) OnClick();
        });
    }
    new TButtonNames(this, created);
}

int TDBRadioGroup::Count() const {
    return static_cast<int>(values_.size());
}

int TDBRadioGroup::ItemIndex() const {
    QButtonGroup* group = ButtonsOf(this);
    return group ? group->checkedId() : -1;
}

void TDBRadioGroup::SetItemIndex(int index) {
    if (index < -1 || index >= Count()) return;
    if (index == -1) {
        if (ItemIndex() == -1) return;
        {
            QScopedValueRollback<bool> refreshing(refreshing_, true);
            UncheckAll(ButtonsOf(this));
        }
        link_.Write("");
        if (OnClick) OnClick();
        return;
    }
    auto* group = ButtonsOf(this);
    if (QAbstractButton* button = group->button(index)) button->setChecked(true);
}

void TDBRadioGroup::FocusGroup() {
    auto* group = ButtonsOf(this);
    QAbstractButton* target = group->checkedButton();
    if (!target && !group->buttons().isEmpty()) target = group->button(0);
    if (target) target->setFocus(Qt::OtherFocusReason);
}

void TDBRadioGroup::Refresh() {
    const std::string value = link_.Read();
    const auto found = std::find(values_.begin(), values_.end(), value);
    const int index = found == values_.end() ? -1 : static_cast<int>(found - values_.begin());
    auto* group = ButtonsOf(this);
    if (!group) return;
    QScopedValueRollback<bool> refreshing(refreshing_, true);
    if (index >= 0) {
        group->button(index)->setChecked(true);
    } else {
        UncheckAll(group);
    }
}

TDBRadioGroup* MakeGradeGroup(QWidget* parent, const QString& objectName, const QString& caption) {
    return new TDBRadioGroup(parent, objectName, caption,
                             {QStringLiteral("+2"), QStringLiteral("+1"), QStringLiteral("0"),
                              QStringLiteral("-1"), QStringLiteral("-2")},
                             {"2", "1", "0", "-1", "-2"}, 5);
}

}  // namespace sarvenu
