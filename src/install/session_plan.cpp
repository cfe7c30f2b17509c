// The preparation of an installation: product, installed copies, user,
// network mode, setup type and packages, port, destination.
#include <algorithm>
#include <climits>

#include "src/infstruc/conditions.h"
#include "src/infstruc/infreg.h"
#include "src/install/session.h"
#include "zrk/cfile.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

CString MessageText(int id) { return ZrkMessageText(id); }

// The questions of a fresh installation, in the order back navigation
// walks them.
enum PlanStage { STAGE_NETWORK, STAGE_TYPE, STAGE_PACKAGES, STAGE_DESTINATION, STAGE_DONE };

uint32_t Saturate(uint64_t kib) { return kib > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(kib); }

}  // namespace

bool InstallSession::FreshInstallation() const { return !m_reinstall && !m_modify && !m_addPackages && !m_upgrade; }

bool InstallSession::UserIsAdministrator() { return zrkos::IsAdministrator(); }

int InstallSession::PrepareInstallation(CString* recordPath) {
    recordPath->Empty();
    ZRK_TRY(ShowWelcome(m_title));
    if (m_testAdmin && ZrkPlatformKind() == ZRK_WINNT && !UserIsAdministrator())
        return ZrkErrorId(ZRK_PRIVILEGE, MSG_NOT_ADMINISTRATOR, m_title.c_str());
    ZRK_TRY(ChooseProduct());
    CString record;
    ZRK_TRY(DetectInstalled(HOOK_RUN, &record));
    if (!record.IsEmpty()) {
        *recordPath = record;
        return 0;
    }
    if (m_secondCopy) ZRK_TRY(NameSecondCopy());
    if (m_userInfo) ZRK_TRY(AskUserInformation());
    ZRK_TRY(FreshInstallation() ? PlanFresh() : PlanExisting());
    return FinishPlan();
}

int InstallSession::ChooseProduct() {
    m_applicable.clear();
    int count = 0, index = -1;
    for (int i = 0; i < m_desc.sets.Count(); ++i) {
        int ok = 0;
        ZRK_TRY(IsSetApplicable(m_desc.sets[i], &ok));
        m_applicable.push_back(ok != 0);
        if (ok && count++ == 0) index = i;
    }
    if (count == 0) return ZrkErrorId(ZRK_DESCERR, MSG_NO_PRODUCT);
    if (count > 1) {
        ZRK_TRY(AskProduct(m_desc.sets, &index));
        if (index < 0 || index >= m_desc.sets.Count() || !m_applicable[static_cast<size_t>(index)])
            return ZrkErrorId(ZRK_DESCERR, MSG_PRODUCT_INDEX_BAD, index);
    }
    m_product = m_desc.sets[index];
    m_hasProduct = true;
    m_productIndex = index;
    m_group = m_product.GroupInUse();
    return 0;
}

int InstallSession::NameSecondCopy() {
    CString dir = m_product.DestDir();
    while (dir.EndsWith("\\")) dir.Assign(dir.c_str(), dir.Length() - 1);
    if (dir.IsEmpty() || !CFile::Exists(dir)) return 0;
    // A missing character of the version or the language counts as "0".
    auto first = [](const CString& s) { return s.IsEmpty() ? '0' : s[0]; };
    auto last = [](const CString& s) { return s.IsEmpty() ? '0' : s[s.Length() - 1]; };
    CString name = CString::Printf("%s.%c%c%c", dir.c_str(), first(m_appVersion), last(m_appVersion),
                                   first(m_appLanguage));
    for (int n = 1; CFile::Exists(name); ++n) {
        if (n > 999) return ZrkErrorId(ZRK_DESCERR, MSG_SECOND_COPY_NO_NAME, dir.c_str());
        name = CString::Printf("%s.%03d", dir.c_str(), n);
    }
    m_product.SetDestDir(name);
    if (!m_group.IsEmpty()) {
        m_group = m_product.GroupInUse() + " " + CString(name.c_str() + name.Length() - 3);
        m_product.SetGroupInUse(m_group);
    }
    return 0;
}

int InstallSession::AskUserInformation() {
    CString key = "HKEY_CURRENT_USER\\Software\\Microsoft\\MS Setup (ACME)\\User Info";
    if (!m_newKey.IsEmpty()) {
        const CString own = "HKEY_CURRENT_USER\\Software\\" + m_newKey;
        int found = 0;
        CString ignored;
        ZRK_TRY(InfRegistryDetect(own, "(Default)", &found, &ignored));
        if (found) key = own;
    }
    ZRK_TRY(InfRegistryRead(key, "DefName", &m_userName));
    ZRK_TRY(InfRegistryRead(key, "DefCompany", &m_company));
    return FreshInstallation() ? AskUserInfo(&m_userName, &m_company) : 0;
}

int InstallSession::PlanFresh() {
    PlanStage stage = STAGE_NETWORK;
    while (stage != STAGE_DONE) {
        int r = 0;
        PlanStage next = stage, back = stage;
        switch (stage) {
            case STAGE_NETWORK:
                r = AskNetwork();
                next = STAGE_TYPE;
                break;
            case STAGE_TYPE:
                r = AskTypeAndPackages();
                next = m_typeText == MessageText(MSG_TYPE_CUSTOM.id) ? STAGE_PACKAGES : STAGE_DESTINATION;
                back = STAGE_NETWORK;
                break;
            case STAGE_PACKAGES:
                r = AskCustomPackages();
                next = STAGE_DESTINATION;
                back = STAGE_TYPE;
                break;
            case STAGE_DESTINATION:
                r = AskPlanDestination();
                next = STAGE_DONE;
                back = m_typeText == MessageText(MSG_TYPE_CUSTOM.id) ? STAGE_PACKAGES : STAGE_TYPE;
                break;
            case STAGE_DONE:
                break;
        }
        if (r == ZRK_BACK)
            stage = back;
        else if (r != 0)
            return r;
        else
            stage = next;
    }
    return 0;
}

int InstallSession::PlanExisting() {
    std::vector<int> installed;
    ZRK_TRY(ExpandPackageList(m_installedPackages, &installed));
    m_selection = PackageNames(installed);
    if (m_modify) {
        m_typeText = MessageText(MSG_TYPE_CUSTOM.id);
        for (;;) {
            int r = AskCustomPackages();
            if (r == 0) r = AskPlanDestination();
            if (r != ZRK_BACK) ZRK_TRY(r);
            if (r == 0) break;
        }
        m_deselected.Clear();
        for (int i = 0; i < m_installedPackages.Count(); ++i)
            if (m_selection.Find(m_installedPackages[i]) < 0) m_deselected.Add(m_installedPackages[i]);
        return 0;
    }
    if (m_addPackages) m_selection = PackageNames(m_maximal);
    return AskPlanDestination();
}

int InstallSession::AskNetwork() {
    for (;;) {
        if (m_clientSwitch) {
            m_network = NETWORK_CLIENT;
        } else if (m_serverSwitch) {
            m_network = NETWORK_SERVER;
        } else if (!m_askNetwork && !CFile::Exists(m_sourcePath + "setup.rem")) {
            m_network = NETWORK_STANDALONE;
            return 0;
        } else {
            NetworkMode mode = m_network;
            ZRK_TRY(AskNetworkMode(&mode, m_title));
            m_network = mode;
        }
        if (m_network == NETWORK_SERVER) {
            m_typeText = MessageText(MSG_TYPE_SERVER.id);
            return 0;
        }
        if (m_network != NETWORK_CLIENT) return 0;
        const int r = AskServerPath(&m_serverPath, m_title);
        if (r == ZRK_BACK) continue;
        ZRK_TRY(r);
        m_typeText = MessageText(MSG_TYPE_CLIENT.id);
        return 0;
    }
}

int InstallSession::ExpandPackageList(const CStringList& names, std::vector<int>* out) const {
    out->clear();
    auto add = [&](const CString& name) {
        CString trimmed = name;
        trimmed.Trim();
        const int index = m_desc.FindPackage(trimmed);
        if (index < 0) return ZrkErrorId(ZRK_DESCERR, MSG_LIST_PACKAGE_UNKNOWN, trimmed.c_str());
        if (std::find(out->begin(), out->end(), index) == out->end()) out->push_back(index);
        return 0;
    };
    for (int i = 0; i < names.Count(); ++i) ZRK_TRY(add(names[i]));
    // One level only: the packages an added package uses are not followed.
    const size_t listed = out->size();
    for (size_t i = 0; i < listed; ++i) {
        const int index = (*out)[i];
        if (index < 0 || index >= m_desc.packages.Count())
            return ZrkErrorId(ZRK_DESCERR, MSG_LIST_PACKAGE_INDEX, index);
        const CStringList& uses = m_desc.packages[index].UsePackages();
        for (int u = 0; u < uses.Count(); ++u) ZRK_TRY(add(uses[u]));
    }
    return 0;
}

CStringList InstallSession::PackageNames(const std::vector<int>& packages) const {
    CStringList names;
    for (int index : packages) names.Add(m_desc.packages[index].Name());
    return names;
}

int InstallSession::DropInapplicable(std::vector<int>* packages) const {
    const CStringList& maximal = m_product.Maximal();
    for (size_t i = packages->size(); i-- > 0;) {
        const int at = maximal.Find(m_desc.packages[(*packages)[i]].Name());
        if (at < 0 || m_product.DetectionRules()[at].IsEmpty()) continue;
        int ok = 0;
        ZRK_TRY(CheckDetection(m_product, at, &ok));
        if (!ok) packages->erase(packages->begin() + static_cast<long>(i));
    }
    return 0;
}

uint64_t InstallSession::ListKiB(const std::vector<int>& packages) const {
    uint64_t kib = 0;
    for (int index : packages) kib += GetPackageSize(m_desc.packages[index]);
    if (m_network != NETWORK_CLIENT) kib += kSizeMarginKiB;
    return kib;
}

int InstallSession::AskTypeAndPackages() {
    ZRK_TRY(ExpandPackageList(m_product.Maximal(), &m_maximal));
    ZRK_TRY(ExpandPackageList(m_product.Minimal(), &m_minimal));
    if (m_network != NETWORK_SERVER) {
        ZRK_TRY(DropInapplicable(&m_maximal));
        ZRK_TRY(DropInapplicable(&m_minimal));
    }
    int type = SETUP_MAXIMAL;
    if (m_product.Minimal().Count() != m_product.Maximal().Count() && m_network != NETWORK_SERVER)
        ZRK_TRY(AskSetupType(m_title, &type, Saturate(ListKiB(m_minimal)), Saturate(ListKiB(m_maximal))));
    switch (type) {
        case SETUP_MINIMAL:
            m_typeText = MessageText(MSG_TYPE_MINIMAL.id);
            m_selection = PackageNames(m_minimal);
            break;
        case SETUP_CUSTOM:
            m_typeText = MessageText(MSG_TYPE_CUSTOM.id);
            m_selection = PackageNames(m_maximal);
            break;
        case SETUP_MAXIMAL:
            if (m_network == NETWORK_STANDALONE) m_typeText = MessageText(MSG_TYPE_MAXIMAL.id);
            m_selection = PackageNames(m_maximal);
            break;
        default:
            return ZRK_INTERNAL_ERROR();
    }
    return 0;
}

int InstallSession::AskCustomPackages() {
    CStringList chosen = m_selection;
    ZRK_TRY(AskPackages(&chosen));
    std::vector<int> packages;
    ZRK_TRY(ExpandPackageList(chosen, &packages));
    m_selection = PackageNames(packages);
    return 0;
}

int InstallSession::AskPlanDestination() {
    std::vector<int> packages;
    ZRK_TRY(SelectionToIndexes(&packages));
    m_neededKiB = Saturate(ListKiB(packages));
    m_product.SetGroupInUse(m_group);
    if (m_product.TcpPort() != 0 && !m_reinstall && !m_addPackages) ZRK_TRY(AskTcpPort(m_product));
    if (!FreshInstallation()) return 0;
    CString dest = m_product.DestDir();
    CString typeText = m_typeText;
    if (m_network == NETWORK_CLIENT) typeText += " (" + MessageText(MSG_TYPE_CLIENT.id) + ")";
    ZRK_TRY(AskDestination(ProductName(), m_appVersion, typeText, m_userName, m_company, &dest, &m_group,
                           m_neededKiB));
    m_product.SetDestDir(dest);
    m_product.SetGroupInUse(m_group);
    return 0;
}

int InstallSession::SelectionToIndexes(std::vector<int>* out) const {
    out->clear();
    for (int i = 0; i < m_selection.Count(); ++i) {
        const int index = m_desc.FindPackage(m_selection[i]);
        if (index < 0) return ZRK_INTERNAL_ERROR();
        out->push_back(index);
    }
    return 0;
}

int InstallSession::FinishPlan() {
    CString dest = m_product.DestDir();
    if (dest.IsEmpty()) return ZrkErrorId(ZRK_DESCERR, MSG_NO_DESTINATION);
    if (!CFile::IsAbsolute(dest)) dest = zrkos::FullPath(dest);
    if (!dest.EndsWith("\\")) dest += "\\";
    m_appPath = dest;
    m_product.SetDestDir(dest);
    m_recordPath = m_appPath + FileNameOf(m_recordPath.IsEmpty() ? "setup.log" : m_recordPath.c_str());
    m_product.SetConditionSymbols(m_selection);
    m_product.SelectedMaximal() = PackageNames(m_maximal);
    m_product.SelectedMinimal() = PackageNames(m_minimal);
    return 0;
}
