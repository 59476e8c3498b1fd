// Small builders the Profiles and Homing pages lay out their rows with.
#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

#include "controls/axtune_edit.h"
#include "res/strings.h"

namespace axtune::motion_page {

inline QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}

// The widget with its control id as object name, so tests find it by id.
template <typename W>
W* Named(W* widget, int id) {
  widget->setObjectName(QString::number(id));
  return widget;
}

// A right-aligned bound field of the pages' common width.
inline CAxtuneEdit* Field(QWidget* parent, int id) {
  auto* field = new CAxtuneEdit(parent, id);
  field->setAlignment(Qt::AlignRight);
  field->setFixedWidth(110);
  return field;
}

inline QLabel* Label(QWidget* parent, int textId, int id = 0) {
  auto* label = new QLabel(Tr(textId), parent);
  if (id != 0) label->setObjectName(QString::number(id));
  return label;
}

}  // namespace axtune::motion_page
