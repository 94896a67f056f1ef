#pragma once
// The recording devices a service lists for the device choice, as the desktop names them. Apart
// from WaveInService.h so that the dialogs can use it.

#include <cstdint>
#include <string>
#include <vector>

struct RecordingDeviceInfo {
    std::string description; // shown to the user: "Scarlett 2i2 USB Analog Stereo"
    std::string name;        // the service's own name, which a choice is remembered by
    uint32_t formats = 0;    // recording format bits 0x001..0x800 (11.025, 22.05, 44.1 kHz
                             // families x 8/16-bit x mono/stereo) the service records in
    uint16_t channels = 0;   // the device's own channel count
};

class RecordingDeviceList {
public:
    virtual ~RecordingDeviceList() = default;
    // In device-number order, as the service lists them now.
    virtual std::vector<RecordingDeviceInfo> RecordingDevices() = 0;
    // The preferred (default) device as it is now; false when there is none.
    virtual bool PreferredRecordingDevice(RecordingDeviceInfo& info) = 0;
};
