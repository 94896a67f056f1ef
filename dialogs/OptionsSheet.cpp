#include "dialogs/OptionsSheet.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "dialogs/DialogUnits.h"

namespace {

ColorsPage::ColorChooser& ChooserHook() {
    static ColorsPage::ColorChooser hook;
    return hook;
}

QColor ToQColor(uint32_t color) {
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

uint32_t FromQColor(const QColor& color) {
    return static_cast<uint32_t>(color.red()) | (static_cast<uint32_t>(color.green()) << 8) |
           (static_cast<uint32_t>(color.blue()) << 16);
}

bool StandardChooser(QWidget* parent, uint32_t initial, uint32_t& chosen) {
    const QColor color = QColorDialog::getColor(ToQColor(initial), parent);
    if (!color.isValid())
        return false;
    chosen = FromQColor(color);
    return true;
}

} // namespace

void ColorsPage::SetColorChooser(ColorChooser chooser) {
    ChooserHook() = std::move(chooser);
}

ColorsPage::ColorsPage(const ColorArray& colors, QWidget* parent)
    : QWidget(parent), m_colors(colors) {
    setWindowTitle(QStringLiteral("Colors"));
    setFont(DialogFont());
    const DialogUnits du(font());
    setFixedSize(du.X(229), du.Y(102));

    const struct {
        int id;
        const char* number;
        int x, y;
        const char* label;
        int labelX, labelW;
    } swatches[] = {
        {IDC_NEEDLE, "1", 17, 17, "Needle Color", 39, 42},
        {IDC_HIGH_ENERGY, "2", 124, 17, "High Energy Color", 146, 58},
        {IDC_LOW_ENERGY, "3", 124, 41, "Low Energy Color", 146, 56},
        {IDC_TEXT, "4", 17, 41, "Text Color", 39, 33},
    };
    for (const auto& s : swatches) {
        auto* frame = new QLabel(QString::fromLatin1(s.number), this);
        SetControlId(frame, s.id);
        frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
        frame->setLineWidth(1);
        frame->setGeometry(du.Rect(s.x, s.y, 15, 15));
        // The page takes the clicks on its swatches.
        frame->setAttribute(Qt::WA_TransparentForMouseEvents);
        auto* label = new QLabel(QString::fromLatin1(s.label), this);
        label->setGeometry(du.Rect(s.labelX, s.y + 3, s.labelW, 8));
    }
    auto* restore = new QPushButton(QStringLiteral("Restore Default Colors"), this);
    SetControlId(restore, IDC_RESTORE);
    restore->setGeometry(du.Rect(17, 64, 95, 14));
    restore->setAutoDefault(false);
    connect(restore, &QPushButton::clicked, this, &ColorsPage::OnRestoreDefaults);

    m_nPressed = 0;
    for (size_t i = 0; i < m_swatches.size(); ++i) {
        m_swatches[i].Create(this, IDC_NEEDLE + static_cast<int>(i));
        m_swatches[i].Fill(m_colors[i]);
    }
}

void ColorsPage::SetModified(bool modified) {
    emit ModifiedChanged(modified);
}

int ColorsPage::SwatchAt(const QPoint& pos) const {
    for (size_t i = 0; i < m_swatches.size(); ++i) {
        const QWidget* control = m_swatches[i].Control();
        if (control && control->geometry().contains(pos))
            return static_cast<int>(i) + 1;
    }
    return 0;
}

void ColorsPage::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_nPressed = SwatchAt(event->position().toPoint());
    QWidget::mousePressEvent(event);
}

void ColorsPage::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const int swatch = SwatchAt(event->position().toPoint());
        const int pressed = m_nPressed;
        m_nPressed = 0;
        if (swatch != 0 && swatch == pressed)
            ChooseColor(swatch);
    }
    QWidget::mouseReleaseEvent(event);
}

void ColorsPage::ChooseColor(int swatch) {
    const size_t i = static_cast<size_t>(swatch - 1);
    uint32_t chosen = m_colors[i];
    const bool picked = ChooserHook() ? ChooserHook()(this, m_colors[i], chosen)
                                      : StandardChooser(this, m_colors[i], chosen);
    if (!picked)
        return;
    m_colors[i] = chosen & 0xFFFFFF;
    m_swatches[i].Fill(m_colors[i]);
    m_swatches[i].Draw();
    SetModified(true);
}

void ColorsPage::OnRestoreDefaults() {
    m_colors = kDefaultColors;
    for (size_t i = 0; i < m_swatches.size(); ++i) {
        m_swatches[i].Fill(m_colors[i]);
        m_swatches[i].Draw();
    }
    SetModified(true);
}

OptionsSheet::OptionsSheet(const ColorArray& colors, int midiDevice, int recordingDevice,
                           DeviceEnumerator& devices, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Options"));
    setFont(DialogFont());
    const DialogUnits du(font());

    m_pTabs = new QTabWidget(this);
    m_pColors = new ColorsPage(colors);
    m_pDevices = new DevicesPage(devices, midiDevice, recordingDevice);
    m_pTabs->addTab(m_pColors, m_pColors->windowTitle());
    m_pTabs->addTab(m_pDevices, m_pDevices->windowTitle());
    m_pTabs->setCurrentIndex(0);

    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(QDialogButtonBox::Ok);
    auto* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_pApply = buttons->addButton(QDialogButtonBox::Apply);
    ok->setText(QStringLiteral("OK"));
    cancel->setText(QStringLiteral("Cancel"));
    m_pApply->setText(QStringLiteral("Apply"));
    SetControlId(ok, IDC_OK);
    SetControlId(cancel, IDC_CANCEL);
    SetControlId(m_pApply, IDC_APPLY);
    for (QPushButton* button : {ok, cancel, m_pApply})
        button->setFixedSize(du.X(50), du.Y(14));
    ok->setDefault(true);
    m_pApply->setEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(du.X(4), du.Y(4), du.X(4), du.Y(4));
    layout->setSpacing(du.Y(4));
    layout->addWidget(m_pTabs);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_pApply, &QPushButton::clicked, this, &OptionsSheet::OnApply);
    connect(m_pColors, &ColorsPage::ModifiedChanged, m_pApply, &QPushButton::setEnabled);
}

void OptionsSheet::OnApply() {
    // The page's values are live, so there is nothing to exchange from its controls first.
    emit ColorsApplied(m_pColors->Colors());
    m_pColors->SetModified(false);
}
