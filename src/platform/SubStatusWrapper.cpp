#include "platform/SubStatusWrapper.h"

SubStatusWrapper::SubStatusWrapper()
    : m_subStatusData(PlatformImpl::m_subStatusData), m_subStatus(PlatformImpl::m_subStatus) {}

SubStatusWrapper::~SubStatusWrapper() {
    PlatformImpl::setUISubStatus(m_subStatus, m_subStatusData);
}
