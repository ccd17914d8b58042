#include "install/installjob.h"

CInstallNotify::~CInstallNotify()
{
    ReleaseInstallJob();
}

InstallJob* CInstallNotify::SetPayload(InstallJob* job)
{
    // The record held already stays: releasing it first would keep a
    // pointer to freed memory and free it a second time later.
    if (job && job == job_.get())
        return job;
    ReleaseInstallJob();
    job_.reset(job);
    return job;
}

void CInstallNotify::ReleaseInstallJob()
{
    job_.reset();
}
