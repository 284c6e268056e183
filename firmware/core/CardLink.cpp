#include "CardLink.h"

#include "CardConnection.h"
#include "CardWorker.h"
#include "QVAudioProtocol.h"
#include "WorkSpace.h"
#include "ccm_util/Dispatcher.h"
#include "common/Device/HidDevice/DeviceIds.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"

namespace firmware {

namespace {
// Runs where the builder's opens run.
bool OpenFirstLoader(CHidDeviceBuilder& builder) {
    CDeviceManager* manager = builder.GetManager();
    return manager && builder.FindDevices(CHidDeviceBuilder::kLoaderProductId) > 0 &&
           builder.OpenFirstDevice() && manager->IsOpen();
}
}  // namespace

CHidCardLink::CHidCardLink(CHidDeviceBuilder& builder, CQVAudioProtocol& protocol,
                           CWorkSpace& workspace, CCardConnection* connection,
                           card::ICardWorker* worker)
    : m_builder(builder),
      m_protocol(protocol),
      m_workspace(workspace),
      m_connection(connection),
      m_worker(worker),
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

void CHidCardLink::TellWorkspace() {
    CDeviceManager* manager = m_builder.GetManager();
    if (!manager) {
        return;
    }
    if (!m_workspace.DeviceMgmt()) {
        m_workspace.SetDevice(manager, &m_protocol);
    }
    m_workspace.SetConnected(true);
}

bool CHidCardLink::OpenLoaderHere() {
    if (!OpenFirstLoader(m_builder)) {
        return false;
    }
    TellWorkspace();
    return true;
}

bool CHidCardLink::OpenLoader(std::chrono::milliseconds wait) {
    if (!m_pendingOpen.valid()) {
        auto result = std::make_shared<std::promise<bool>>();
        m_pendingOpen = result->get_future();
        CHidDeviceBuilder* builder = &m_builder;
        auto job = [builder, result] {
            const bool ok = OpenFirstLoader(*builder);
            result->set_value(ok);
            return ok;
        };
        if (m_worker) {
            m_worker->Submit(job, {});  // a worker that stops drops it: a broken promise below
        } else {
            job();
        }
    }
    if (m_pendingOpen.wait_for(wait) != std::future_status::ready) {
        return false;
    }
    bool opened = false;
    try {
        opened = m_pendingOpen.get();
    } catch (const std::future_error&) {
        opened = false;  // the worker ended before it ran the open
    }
    if (!opened) {
        return false;
    }
    // The upgrade needs only the manager; the window's view of the card follows when the UI
    // thread gets to it, and nothing here waits for that.
    std::weak_ptr<CHidCardLink*> alive = m_alive;
    if (!ccm_util::DispatchToUi([alive] {
            if (auto self = alive.lock()) {
                (*self)->TellWorkspace();
            }
        })) {
        TellWorkspace();  // no UI thread: this one is the only one
    }
    return true;
}

bool CHidCardLink::LoaderPresent() {
    std::vector<std::string> paths;
    return CHidBase::EnumDevices(paths, CHidDeviceBuilder::kVendorId,
                                 CHidDeviceBuilder::kLoaderProductId) > 0;
}

bool CHidCardLink::LoaderOpen() {
    CDeviceManager* manager = m_builder.GetManager();
    if (!manager || !manager->IsOpen()) {
        return false;
    }
    uint16_t vendor = 0;
    uint16_t product = 0;
    return IdentifyDevice(manager->AttachedPath(), &vendor, &product) &&
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
