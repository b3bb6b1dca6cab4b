#pragma once

#include "base/SString.h"
#include "platform/PlatformImpl.h"

// Scope guard for a step that sets its own sub-status: the constructor saves
// the current sub-status and its text, the destructor hands them back to
// PlatformImpl::setUISubStatus, also when the step ends by an exception.
class SubStatusWrapper {
  public:
    SubStatusWrapper();
    ~SubStatusWrapper();
    SubStatusWrapper(const SubStatusWrapper&) = delete;
    SubStatusWrapper& operator=(const SubStatusWrapper&) = delete;

  private:
    SString m_subStatusData;
    UISubStatus m_subStatus;
};
