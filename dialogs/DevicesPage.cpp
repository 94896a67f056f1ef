#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTextOption>

#include "dialogs/DeviceEnumerator.h"
#include "dialogs/DialogUnits.h"
#include "dialogs/OptionsSheet.h"

namespace {

const QString kNoProperties = QStringLiteral("No properties");

// Draws list lines with tab stops a fixed distance apart, as a list box with tab stops does.
class TabStopDelegate : public QStyledItemDelegate {
public:
    TabStopDelegate(qreal tabStop, QObject* parent)
        : QStyledItemDelegate(parent), m_rTabStop(tabStop) {}

    void SetTabStop(qreal tabStop) { m_rTabStop = tabStop; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : nullptr;
        if (style)
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        QTextOption textOption(Qt::AlignLeft | Qt::AlignVCenter);
        textOption.setTabStopDistance(m_rTabStop);
        textOption.setWrapMode(QTextOption::NoWrap);
        const QPalette::ColorGroup group =
            (opt.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
        painter->save();
        painter->setPen(opt.palette.color(group, (opt.state & QStyle::State_Selected)
                                                     ? QPalette::HighlightedText
                                                     : QPalette::Text));
        painter->setFont(opt.font);
        painter->drawText(QRectF(opt.rect).adjusted(2, 0, -2, 0), text, textOption);
        painter->restore();
    }

private:
    qreal m_rTabStop;
};

TabStopDelegate* Delegate(QListWidget* list) {
    return static_cast<TabStopDelegate*>(list->itemDelegate());
}

QString Cell(uint32_t formats, uint32_t bit) {
    return (formats & bit) ? QStringLiteral("\tYes") : QStringLiteral("\tNo");
}

QString Version(uint32_t version) {
    return QStringLiteral("%1.%2").arg((version >> 8) & 0xFF).arg(version & 0xFF);
}

} // namespace

DevicesPage::DevicesPage(DeviceEnumerator& devices, int midiIndex, int recordingIndex,
                         QWidget* parent)
    : QWidget(parent), m_devices(devices), m_nMidiIndex(midiIndex),
      m_nRecordingIndex(recordingIndex) {
    setWindowTitle(QStringLiteral("Devices"));
    setFont(DialogFont());
    const DialogUnits du(font());
    setFixedSize(du.X(260), du.Y(141));

    auto* recordingLabel = new QLabel(QStringLiteral("Recording Device:"), this);
    recordingLabel->setGeometry(du.Rect(7, 7, 58, 8));
    auto* midiLabel = new QLabel(QStringLiteral("Midi Output Device:"), this);
    midiLabel->setGeometry(du.Rect(133, 7, 64, 8));

    // A closed drop-down is one line high; the template's height is the opened list's.
    const auto placeCombo = [&](QComboBox* combo, int x, int listHeight) {
        const int height = std::min(combo->sizeHint().height(), du.Y(16));
        combo->setGeometry(du.X(x), du.Y(20), du.X(x + 120) - du.X(x), height);
        combo->setMaxVisibleItems(std::max(1, (du.Y(listHeight) - height) / du.BaseY()));
    };
    m_pRecording = new QComboBox(this);
    SetControlId(m_pRecording, IDC_RECORDING);
    placeCombo(m_pRecording, 7, 63);
    m_pMidi = new QComboBox(this);
    SetControlId(m_pMidi, IDC_MIDI);
    placeCombo(m_pMidi, 133, 62);

    const auto makeList = [&](int id, int x) {
        auto* list = new QListWidget(this);
        SetControlId(list, id);
        list->setGeometry(du.Rect(x, 38, 120, 96));
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setSelectionMode(QAbstractItemView::NoSelection);
        // Tab stops every 32 units until the page sets its own.
        list->setItemDelegate(new TabStopDelegate(du.X(32), list));
        return list;
    };
    m_pRecordingList = makeList(IDC_RECORDING_PROPS, 7);
    m_pMidiList = makeList(IDC_MIDI_PROPS, 133);
    setTabOrder(m_pRecording, m_pMidi);
}

void DevicesPage::showEvent(QShowEvent* event) {
    if (!m_bStarted)
        Start();
    QWidget::showEvent(event);
}

void DevicesPage::Start() {
    m_bStarted = true;
    const DialogUnits du(font());

    // 1. Both property lists are for display only.
    m_pRecordingList->setEnabled(false);
    m_pMidiList->setEnabled(false);

    // Filling the combos must not count as the user's selection changes.
    {
        const QSignalBlocker blockRecording(m_pRecording);
        const QSignalBlocker blockMidi(m_pMidi);

        // 2. Recording side.
        const int n = m_devices.WaveInCount();
        if (n <= 0) {
            m_pRecordingList->addItem(kNoProperties);
            m_pRecording->setEnabled(false);
        } else {
            m_pRecording->insertItem(0, QStringLiteral("Preferred recording device"));
            for (int d = 0; d < n; ++d) {
                m_pRecording->insertItem(d + 1, QString::fromStdString(m_devices.WaveInName(d)));
            }
            m_pRecording->setCurrentIndex(m_nRecordingIndex);
            Delegate(m_pRecordingList)->SetTabStop(du.X(23));
            m_pRecordingList->insertItem(0, QStringLiteral("\t8-bit\t\t16-bit"));
            m_pRecordingList->insertItem(1, QStringLiteral("Rate\tMono\tStereo\tMono\tStereo"));
        }

        // 3. MIDI side.
        m_nMidiCount = m_devices.MidiOutCount();
        if (m_nMidiCount <= 0) {
            m_pMidiList->addItem(kNoProperties);
            m_pMidi->setEnabled(false);
        } else {
            m_pMidi->insertItem(0, QStringLiteral("Preferred Midi output device"));
            for (int d = 0; d < m_nMidiCount; ++d) {
                MidiOutCaps caps;
                const QString name = m_devices.GetMidiOutCaps(d, caps)
                                         ? QString::fromStdString(caps.name)
                                         : QString();
                m_pMidi->insertItem(d + 1, name);
            }
            m_pMidi->setCurrentIndex(m_nMidiIndex);
        }
    }

    // 4. Fill both property lists.
    RefreshMidi();
    RefreshRecording();

    connect(m_pRecording, &QComboBox::currentIndexChanged, this, &DevicesPage::RefreshRecording);
    connect(m_pMidi, &QComboBox::currentIndexChanged, this, &DevicesPage::RefreshMidi);
}

void DevicesPage::RefreshRecording() {
    // The two header lines stay; everything below them goes.
    while (m_pRecordingList->count() > 2)
        delete m_pRecordingList->takeItem(2);

    m_nRecordingIndex = m_pRecording->currentIndex();
    WaveInCaps caps;
    const int device = m_nRecordingIndex == 0 ? -1 : m_nRecordingIndex - 1;
    if (!m_devices.GetWaveInCaps(device, caps))
        return;

    using namespace WaveFormat;
    const struct {
        const char* label;
        uint32_t bits[4];
    } rates[] = {
        {"8K", {k1M08, k1S08, k1M16, k1S16}},  {"11K", {k1M08, k1S08, k1M16, k1S16}},
        {"16K", {k2M08, k2S08, k2M16, k2S16}}, {"22K", {k2M08, k2S08, k2M16, k2S16}},
        {"32K", {k4M08, k4S08, k4M16, k4S16}}, {"44K", {k4M08, k4S08, k4M16, k4S16}},
        {"48K", {k4M08, k4S08, k4M16, k4S16}},
    };
    int position = 2;
    for (const auto& rate : rates) {
        QString line = QString::fromLatin1(rate.label);
        for (uint32_t bit : rate.bits)
            line += Cell(caps.formats, bit);
        m_pRecordingList->insertItem(position++, line);
    }
    if (caps.channels)
        m_pRecordingList->insertItem(position++,
                                     QStringLiteral("Number of Channels:\t%1").arg(*caps.channels));
    if (caps.driverVersion)
        m_pRecordingList->insertItem(position++, QStringLiteral("Driver Version:\t") +
                                                     Version(*caps.driverVersion));
}

void DevicesPage::RefreshMidi() {
    m_pMidiList->clear();
    m_nMidiIndex = m_pMidi->currentIndex();
    MidiOutCaps caps;
    const int device = m_nMidiIndex == 0 ? -1 : m_nMidiIndex - 1;
    if (!m_devices.GetMidiOutCaps(device, caps)) {
        // Without any MIDI output the list says so, as the recording side does.
        if (m_nMidiCount <= 0)
            m_pMidiList->addItem(kNoProperties);
        return;
    }

    int position = 0;
    const auto add = [&](const QString& line) { m_pMidiList->insertItem(position++, line); };
    add(caps.technology == MidiTechnology::kFmSynth ? QStringLiteral("FM support")
                                                    : QStringLiteral("No FM support"));
    if (caps.technology == MidiTechnology::kMapper)
        add(QStringLiteral("Microsoft MIDI mapped"));
    if (caps.technology == MidiTechnology::kMidiPort)
        add(QStringLiteral("MIDI Hardware port enabled"));
    if (caps.technology == MidiTechnology::kSquareWave)
        add(QStringLiteral("Square wave synthesizer detected"));
    if (caps.technology == MidiTechnology::kSynth)
        add(QStringLiteral("MIDI Synthesizer detected"));

    Delegate(m_pMidiList)->SetTabStop(DialogUnits(font()).X(20));
    add(QStringLiteral("Simultaneous notes:\t%1").arg(caps.notes));
    add(QStringLiteral("Number of voices:\t\t%1").arg(caps.voices));
    if (caps.driverVersion)
        add(QStringLiteral("Driver version:\t\t") + Version(*caps.driverVersion));
}
