#include "HidDeviceBuilder.h"

#include "../VirtualCard/VirtualCardDevice.h"

CHidDeviceBuilder::~CHidDeviceBuilder() {
    // The manager's receive loop may still read from the transport: stop it first.
    m_manager.reset();
    m_transport.reset();
}

bool CHidDeviceBuilder::CreateManager(ICommProtocol* protocol) {
    if (!protocol) {
        return false;
    }
    m_manager = std::make_unique<CDeviceManager>();
    m_protocol = protocol;
    return m_manager->IsReady();
}

int CHidDeviceBuilder::FindDevices(uint16_t productId) {
    m_paths.clear();
    m_vendorId = kVendorId;
    m_productId = productId;
    return CHidBase::EnumDevices(m_paths, m_vendorId, m_productId);
}

bool CHidDeviceBuilder::OpenFirstDevice() {
    if (m_paths.empty()) {
        m_currentPath.clear();
        return false;
    }
    return OpenDevicePath(m_paths.front());
}

bool CHidDeviceBuilder::OpenDevicePath(const std::string& path) {
    m_currentPath.clear();
    if (!m_manager) {
        return false;
    }
    std::unique_ptr<CHidBase> transport = CreateTransport(path);
    // AttachDevice lets go of the previous transport before it takes the new one.
    bool attached = m_manager->AttachDevice(transport.get(), m_protocol);
    m_lastOpenError = transport->LastOpenError();
    m_lastLockHolder = transport->LockHolder();
    if (m_transport && m_manager->GetDevice() != m_transport.get()) {
        m_transport.reset();
    }
    if (!attached) {
        return false;
    }
    m_transport = std::move(transport);
    m_currentPath = path;
    return true;
}

std::unique_ptr<CHidBase> CHidDeviceBuilder::CreateTransport(const std::string& path) {
    if (CVirtualCardDevice::IsVirtualPath(path)) {
        return std::make_unique<CVirtualCardDevice>(path);
    }
    return std::make_unique<CHidBase>(path);
}
