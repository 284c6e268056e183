// lyntctl devices and info: which cards are there and what they say about themselves.
#include <cstdio>

#include "CommandSupport.h"
#include "DeviceInfo.h"
#include "FirmwareVersion.h"
#include "common/Device/HidDevice/HidBase.h"

namespace ctl {

namespace {

// The device type as scripts read it; the text output keeps the panel's Chinese words.
const char* DeviceTypeKey(uint8_t type) {
    switch (type) {
        case 1:
            return "sound_card";
        case 2:
            return "microphone";
        case 3:
            return "headphones";
        case 4:
            return "speaker";
        case 5:
            return "effects_unit";
        default:
            return "other";
    }
}

}  // namespace

int CmdDevices(const Invocation& in) {
    if (!in.args.empty()) {
        return Usage(in, "usage: lyntctl devices");
    }
    for (uint16_t product : {CHidDeviceBuilder::kProductId, CHidDeviceBuilder::kLoaderProductId}) {
        const bool loader = product == CHidDeviceBuilder::kLoaderProductId;
        std::vector<std::string> paths;
        int count = CHidBase::EnumDevices(paths, CHidDeviceBuilder::kVendorId, product);
        for (const auto& p : paths) {
            char ids[16];
            std::snprintf(ids, sizeof ids, "%04x %04x", CHidDeviceBuilder::kVendorId, product);
            Json::Value o;
            o["type"] = "device";
            o["path"] = p;
            o["vendor_id"] = std::string(ids, 4);
            o["product_id"] = std::string(ids + 5, 4);
            o["mode"] = loader ? "loader" : "card";
            in.out.Emit(
                p + " " + ids + (loader ? " loader (finish with: lyntctl firmware upgrade)" : ""),
                o);
        }
        if (count > static_cast<int>(paths.size())) {
            in.out.Error(std::to_string(count - static_cast<int>(paths.size())) +
                         " more cards not listed");
        }
    }
    return kExitOk;
}

int CmdInfo(const Invocation& in) {
    if (!in.args.empty()) {
        return Usage(in, "usage: lyntctl info");
    }
    CTarget session(in.panel, SessionStart::ReadOnly);
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    auto reply = std::make_shared<card::Frame>();
    CQVAudioProtocol* protocol = &session->Protocol();
    const COutput out = in.out;
    return session->Exchange(
        [protocol, reply] { return protocol->QueryDeviceInfo(reply->data()); },
        [out, reply](bool answered) {
            if (out.Json()) {
                Json::Value o;
                o["type"] = "info";
                o["product"] = "Orin LYNT!";
                if (answered) {
                    const uint8_t type = (*reply)[card::kDeviceTypeOffset];
                    // Spelled as firmware check spells them ("2.3"), for scripts that compare.
                    o["hardware_version"] =
                        firmware::CardVersionText((*reply)[card::kHardwareVersionOffset]);
                    o["firmware_version"] =
                        firmware::CardVersionText((*reply)[card::kFirmwareVersionOffset]);
                    o["device_type"] = DeviceTypeKey(type);
                    o["device_type_name"] = card::DeviceTypeName(type);
                }
                out.Emit("", o);
            } else {
                out.Print(card::FormatDeviceInfo(answered ? reply.get() : nullptr));
            }
            if (!answered) {
                out.Error("the card did not answer the information request");
                return kExitNoAnswer;
            }
            return kExitOk;
        });
}

}  // namespace ctl
