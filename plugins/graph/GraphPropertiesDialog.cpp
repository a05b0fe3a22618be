#include "plugins/graph/GraphPropertiesDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <cctype>
#include <charconv>

#include "plugins/graph/GraphWindow.h"
#include "plugins/graph/TraceFile.h"

namespace veltra {
namespace {

struct Row {
  GraphProperty property;
  int boxId;
  const char* text;
  int bx, by, bw, bh;
  int editId;
  int ex, ey, ew, eh;
};

constexpr Row kRows[kGraphPropertyCount] = {
    {GraphProperty::Title, 1040, "Graph title", 20, 65, 46, 10, 1043, 76, 65, 149, 12},
    {GraphProperty::XTitle, 1041, "X-Title", 20, 92, 45, 10, 1032, 75, 92, 150, 12},
    {GraphProperty::XUnit, 1046, "X-Unit", 20, 107, 45, 10, 1047, 75, 107, 60, 12},
    {GraphProperty::XMin, 1028, "X-Min", 20, 127, 45, 10, 1044, 75, 127, 60, 12},
    {GraphProperty::XSize, 1029, "X-Size", 20, 142, 45, 10, 1034, 75, 142, 60, 12},
    {GraphProperty::YTitle, 1042, "Y-Title", 20, 170, 45, 10, 1045, 75, 170, 150, 12},
    {GraphProperty::YUnit, 1048, "Y-Unit", 20, 185, 45, 10, 1049, 75, 185, 60, 12},
    {GraphProperty::YMin, 1030, "Y-Min", 20, 200, 45, 10, 1033, 75, 200, 60, 12},
    {GraphProperty::YSize, 1031, "Y-Size", 20, 215, 45, 10, 1035, 75, 215, 60, 12},
    {GraphProperty::PhysMin, 1036, "Minimum", 20, 251, 45, 10, 1038, 75, 251, 60, 12},
    {GraphProperty::PhysSize, 1037, "Size", 20, 266, 45, 10, 1039, 75, 266, 60, 12},
};

}  // namespace

GraphPropertiesDialog::GraphPropertiesDialog(GraphWindow& window) : QDialog(&window), window_(window) {
  setWindowTitle(QStringLiteral("Graph properties"));
  setModal(true);
  setFixedSize(DialogUnits(0, 0, 239, 318).size());

  auto group = [this](const char* title, int x, int y, int w, int h) {
    auto* box = new QGroupBox(QString::fromLatin1(title), this);
    box->setGeometry(DialogUnits(x, y, w, h));
    box->lower();
  };
  group("X-Axis", 10, 80, 220, 155);
  group("Y-Axis", 10, 155, 220, 80);
  group("Physical range", 10, 239, 135, 65);

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("1006"));
  const QRect iconRect = DialogUnits(10, 10, 62, 46);
  icon->setGeometry(iconRect);
  const int iconSize = std::min(iconRect.width(), iconRect.height());
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(iconSize, iconSize));
  auto* text =
      new QLabel(QStringLiteral("Using this dialog, you can lock features of the graph display.   Unless "
                                "otherwise specified, the features will be those specified by the DSP "
                                "program that launched this display."),
                 this);
  text->setWordWrap(true);
  text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  text->setGeometry(DialogUnits(80, 10, 150, 45));

  for (const Row& row : kRows) {
    auto* box = new QCheckBox(QString::fromLatin1(row.text), this);
    box->setObjectName(QString::number(row.boxId));
    box->setGeometry(DialogUnits(row.bx, row.by, row.bw, row.bh));
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::number(row.editId));
    edit->setGeometry(DialogUnits(row.ex, row.ey, row.ew, row.eh));
    boxes_[Index(row.property)] = box;
    edits_[Index(row.property)] = edit;
    const GraphProperty property = row.property;
    connect(box, &QCheckBox::clicked, this, [this, property] { LockClicked(property); });
  }

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("1"));
  ok->setGeometry(DialogUnits(175, 272, 50, 14));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("2"));
  cancel->setGeometry(DialogUnits(175, 289, 50, 14));
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  autoButton_ = new QPushButton(QStringLiteral("&Auto"), this);
  autoButton_->setObjectName(QStringLiteral("1005"));
  autoButton_->setGeometry(DialogUnits(75, 284, 24, 14));
  connect(autoButton_, &QPushButton::clicked, this, &GraphPropertiesDialog::Auto);

  Fill();
}

QRect GraphPropertiesDialog::DialogUnits(int x, int y, int width, int height) const {
  // A dialog unit is a quarter of the average width of the letters across
  // and an eighth of the text height down.
  const QFontMetrics metrics(font());
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int cx = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
  const int cy = metrics.height();
  return QRect(x * cx / 4, y * cy / 8, width * cx / 4, height * cy / 8);
}

void GraphPropertiesDialog::Fill() {
  const GraphProperties& properties = window_.Properties();
  for (int i = 0; i < kGraphPropertyCount; ++i) {
    const GraphProperty p = static_cast<GraphProperty>(i);
    const std::string value = IsText(p) ? properties.Text(p) : TraceFile::FormatNumber(properties.Number(p));
    edits_[i]->setText(QString::fromStdString(value));
    boxes_[i]->setChecked(properties.locked[i]);
    edits_[i]->setEnabled(properties.locked[i]);
  }
}

void GraphPropertiesDialog::LockClicked(GraphProperty p) {
  GraphProperties& properties = window_.Properties();
  properties.SetLocked(p, !properties.locked[Index(p)]);
  Fill();
}

void GraphPropertiesDialog::Auto() {
  double minimum = 0;
  double maximum = 0;
  if (!window_.DataRange(minimum, maximum)) return;
  GraphProperties& properties = window_.Properties();
  if (properties.locked[Index(GraphProperty::PhysMin)]) {
    Edit(GraphProperty::PhysMin)->setText(QString::fromStdString(TraceFile::FormatNumber(minimum)));
    properties.lockedNumber[Index(GraphProperty::PhysMin)] = minimum;
  }
  if (properties.locked[Index(GraphProperty::PhysSize)]) {
    Edit(GraphProperty::PhysSize)
        ->setText(QString::fromStdString(TraceFile::FormatNumber(maximum - minimum)));
    properties.lockedNumber[Index(GraphProperty::PhysSize)] = maximum - minimum;
  }
}

bool GraphPropertiesDialog::ParseFloat(const std::string& text, float& value) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  const char* begin = text.data() + i;
  const char* end = text.data() + text.size();
  float parsed = 0;
  const auto result = std::from_chars(begin, end, parsed, std::chars_format::general);
  if (result.ec != std::errc() || result.ptr == begin) return false;
  value = parsed;
  return true;
}

void GraphPropertiesDialog::accept() {
  GraphProperties& properties = window_.Properties();
  for (int i = 0; i < kGraphPropertyCount; ++i) {
    if (!properties.locked[i]) continue;
    const std::string text = edits_[i]->text().toStdString();
    if (IsText(static_cast<GraphProperty>(i))) {
      properties.lockedText[i] = text;
    } else {
      // A locked number whose edit holds no number keeps its value.
      float value = 0;
      if (ParseFloat(text, value)) properties.lockedNumber[i] = value;
    }
  }
  QDialog::accept();
}

}  // namespace veltra
