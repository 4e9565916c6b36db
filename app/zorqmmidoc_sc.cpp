// The document's service-centre profiles: the phone's profiles are read
// into the list after each engine set-up, beside the PC profiles loaded
// from the Files folder at construction.
#include "zorqmmidoc.h"

#include "debugtrace.h"
#include "mtr_sms.h"

void CZorqMMIDoc::SaveSMSparamConfig()
{
    m_ServiceCenterList.RemoveByType(CServiceCenter::kPhoneDefault);
    m_ServiceCenterList.RemoveByType(CServiceCenter::kPhone);
    const SMS_PROFILE_RANGE range = m_MSParam.profiles;
    if (!range.Known()) {
        m_nCurrentProfile = -1;
        return;
    }
    const int mode = GetSCProfileMode() ? 1 : 0;
    for (int index = range.lowest; index <= range.highest; ++index) {
        auto* profile = new CServiceCenter;
        profile->SetIndex(index);
        profile->SetType(index == mode ? CServiceCenter::kPhoneDefault : CServiceCenter::kPhone);
        WriteDebugInt("CZorqMMIDoc::SaveSMSparamConfig -> Get sms parameters for profile ", index);
        if (mtr_SMS_get_model_parameters(profile) != MTR_DONE) {
            WriteDebug("CZorqMMIDoc::SaveSMSparamConfig -> Get sms parameters Failed");
            delete profile;
            continue;
        }
        if (profile->GetPhoneNumber().empty())
            WriteDebug("CZorqMMIDoc::Servicecenter not available but we add in the list");
        else
            WriteDebug("CZorqMMIDoc::SaveSMSparamConfig -> Get sms parameters OK");
        profile->SetDisplayName(mode != 0);
        if (m_ServiceCenterList.Add(profile) < 0)
            delete profile;
    }
    m_nCurrentProfile = m_ServiceCenterList.GetFirstDefinedProfile(range.highest);
}
