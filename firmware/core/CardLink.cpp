#include "CardLink.h"

#include <chrono>
#include <future>

#include "CardConnection.h"
#include "QVAudioProtocol.h"
#include "WorkSpace.h"
#include "ccm_util/Dispatcher.h"
#include "common/Device/HidDevice/DeviceIds.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"

namespace firmware {

namespace {
// Opening a device takes a few milliseconds; a UI thread that does not answer in this time is
// taken as a failed round.
constexpr auto kUiAnswerWait = std::chrono::seconds(3);
}  // namespace

CHidCardLink::CHidCardLink(CHidDeviceBuilder& builder, CQVAudioProtocol& protocol,
                           CWorkSpace& workspace, CCardConnection* connection)
    : m_builder(builder),
      m_protocol(protocol),
      m_workspace(workspace),
      m_connection(connection),
      m_alive(std::make_shared<CHidCardLink*>(this)) {}

CHidCardLink::~CHidCardLink() = default;

bool CHidCardLink::IsOpen() {
    CDeviceManager* manager = m_builder.GetManager();
    return manager && manager->IsOpen();
}

bool CHidCardLink::Exchange(const card::Frame& request, card::Frame& reply, card::Timing timing) {
    CDeviceManager* manager = m_builder.GetManager();
    if (!manager) {
        return false;
    }
    timing = m_protocol.TimingOf(timing);
    card::Frame q = request;  // signed in place
    return manager->SendAndReceive(q.data(), reply.data(), timing.tries, timing.timeoutMs, false);
}

bool CHidCardLink::OpenLoaderHere() {
    CDeviceManager* manager = m_builder.GetManager();
    if (!manager || m_builder.FindDevices(CHidDeviceBuilder::kLoaderProductId) <= 0 ||
        !m_builder.OpenFirstDevice()) {
        return false;
    }
    if (!m_workspace.DeviceMgmt()) {
        m_workspace.SetDevice(manager, &m_protocol);
    }
    m_workspace.SetConnected(true);
    return manager->IsOpen();
}

bool CHidCardLink::OpenLoader() {
    auto result = std::make_shared<std::promise<bool>>();
    std::future<bool> answer = result->get_future();
    std::weak_ptr<CHidCardLink*> alive = m_alive;
    if (!ccm_util::DispatchToUi([alive, result] {
            auto self = alive.lock();
            result->set_value(self && (*self)->OpenLoaderHere());
        })) {
        return false;
    }
    return answer.wait_for(kUiAnswerWait) == std::future_status::ready && answer.get();
}

bool CHidCardLink::LoaderPresent() {
    std::vector<std::string> paths;
    return CHidBase::EnumDevices(paths, CHidDeviceBuilder::kVendorId,
                                 CHidDeviceBuilder::kLoaderProductId) > 0;
}

bool CHidCardLink::LoaderOpen() {
    CDeviceManager* manager = m_builder.GetManager();
    if (!manager || !manager->IsOpen() || !manager->GetDevice()) {
        return false;
    }
    uint16_t vendor = 0;
    uint16_t product = 0;
    return IdentifyDevice(manager->GetDevice()->GetDevicePath(), &vendor, &product) &&
           vendor == CHidDeviceBuilder::kVendorId && product == CHidDeviceBuilder::kLoaderProductId;
}

void CHidCardLink::Release() {
    if (m_connection) {
        m_connection->Disconnect();
    } else if (CDeviceManager* manager = m_builder.GetManager()) {
        manager->DetachDevice();
        m_workspace.SetConnected(false);
    }
}

}  // namespace firmware
