#include "install/installjob.h"

CInstallNotify::~CInstallNotify()
{
    ReleaseInstallJob();
}

InstallJob* CInstallNotify::SetPayload(InstallJob* job)
{
    ReleaseInstallJob();
    job_.reset(job);
    return job;
}

void CInstallNotify::ReleaseInstallJob()
{
    job_.reset();
}
