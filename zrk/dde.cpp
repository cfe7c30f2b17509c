// The DDE manager module and the client conversation.
#include "zrk/dde.h"

#include <algorithm>
#include <cstring>

#include "zrk/app.h"
#include "zrk/profile.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

// Every DDE failure of the framework carries this result.
constexpr int kDdeFailed = ZRK_PRIVILEGE;

const char kServicesSection[] = "DdeServices";
const char kDefaultTopic[] = "System";

CDdeManager::Factory g_factory = nullptr;
// The manager whose library instance is live: the callback feeds it.
CDdeManager* g_active = nullptr;

CModule* CreateManager() { return g_factory ? g_factory() : new CDdeManager(); }

CModuleRegistration g_registration("DdeManager", CreateManager);

int Handler(const zrkos::DdeIncoming& in, CString* reply) {
    return g_active ? g_active->Dispatch(in, reply) : ZRK_DDE_NOT_HANDLED;
}

}  // namespace

CDdeManager* ZrkDdeManager() { return g_active; }

// ---- the manager ------------------------------------------------------------------

CDdeManager::~CDdeManager() {
    if (m_started) End();
}

void CDdeManager::SetFactory(Factory factory) { g_factory = factory; }

bool CDdeManager::Available() { return zrkos::DdeAvailable(); }

int CDdeManager::Start(const char* service) {
    if (m_started) return service && *service ? RegisterService(service) : 0;
    // The library calls back into one manager per process.
    if (g_active) return ZRK_INTERNAL_ERROR();
    m_started = true;
    g_active = this;
    if (!zrkos::DdeAvailable()) {
        // Nothing to initialise; clients say that DDE is not available when
        // they are used, and a service cannot be offered.
        return service && *service ? ZrkErrorId(kDdeFailed, MSG_DDE_NOT_AVAILABLE) : 0;
    }
    const unsigned err = zrkos::DdeStart(Handler, &m_instance);
    if (err != 0) {
        m_started = false;
        g_active = nullptr;
        return ReportError(err, nullptr, nullptr, nullptr);
    }
    m_available = true;
    return service && *service ? RegisterService(service) : 0;
}

int CDdeManager::End() {
    if (!m_started) return 0;
    int result = 0;
    // The conversations of clients that outlive the manager end with it;
    // those clients find no manager afterwards.
    for (CDdeClient* client : m_clients) {
        if (client->m_conversation && m_available) zrkos::DdeDisconnectConv(client->m_conversation);
        client->m_conversation = 0;
        client->m_manager = nullptr;
    }
    m_clients.clear();
    // Every name is unregistered and the library is let go even when one
    // of them fails; the first failure is the result.
    CStringList names = m_services;
    for (int i = 0; i < names.Count(); ++i) ZRK_KEEP(result, UnregisterService(names[i]));
    m_services.Clear();
    if (m_available && !zrkos::DdeEnd(m_instance)) {
        ZRK_KEEP(result, ZrkErrorId(ZRK_DDE_END_FAILED, MSG_DDE_END_FAILED, static_cast<unsigned>(m_instance)));
    }
    m_available = false;
    m_started = false;
    m_instance = 0;
    if (g_active == this) g_active = nullptr;
    return result;
}

int CDdeManager::RegisterService(const char* service) {
    if (!m_started) return ReportError(zrkos::DDE_ERR_DLL_NOT_INITIALIZED, service, nullptr, nullptr);
    if (!m_available) return ZrkErrorId(kDdeFailed, MSG_DDE_NOT_AVAILABLE);
    if (!service || !*service)
        return ZrkErrorId(kDdeFailed, MSG_DDE_INVALID_PARAMETER, static_cast<unsigned>(m_instance), "", "");
    if (m_services.Find(service, false) >= 0) return 0;
    if (!zrkos::DdeNameService(m_instance, service, true)) return ReportLastError(service, nullptr, nullptr);
    m_services.Add(service);
    return 0;
}

int CDdeManager::UnregisterService(const char* service) {
    const int index = m_services.Find(service, false);
    if (index < 0) return 0;
    // Keep our own copy: the list entry goes below.
    const CString name = m_services[index];
    m_services.RemoveAt(index);
    if (!m_available) return 0;
    if (!zrkos::DdeNameService(m_instance, name, false)) return ReportLastError(name, nullptr, nullptr);
    return 0;
}

unsigned CDdeManager::LastError() {
    return m_available ? zrkos::DdeLastError(m_instance) : static_cast<unsigned>(zrkos::DDE_ERR_DLL_NOT_INITIALIZED);
}

int CDdeManager::ReportLastError(const char* service, const char* topic, const char* subject) {
    return ReportError(LastError(), service, topic, subject);
}

int CDdeManager::ReportError(unsigned error, const char* service, const char* topic, const char* subject) {
    const unsigned instance = m_instance;
    switch (error) {
    case zrkos::DDE_NO_ERROR:
        return ZrkErrorId(kDdeFailed, MSG_DDE_NO_ERROR);
    case zrkos::DDE_ERR_DLL_NOT_INITIALIZED:
        return ZrkErrorId(kDdeFailed, MSG_DDE_NOT_INITIALISED, instance);
    case zrkos::DDE_ERR_INVALIDPARAMETER:
        if (service && topic) return ZrkErrorId(kDdeFailed, MSG_DDE_INVALID_PARAMETER, instance, service, topic);
        break;
    case zrkos::DDE_ERR_NOTPROCESSED:
        if (subject) return ZrkErrorId(kDdeFailed, MSG_DDE_NOT_PROCESSED, subject);
        break;
    case zrkos::DDE_ERR_NO_CONV_ESTABLISHED:
        if (service) return ZrkErrorId(kDdeFailed, MSG_DDE_NO_CONVERSATION, service);
        break;
    default:
        break;
    }
    // Any other error (a time-out, a busy server, a failed post) is still a
    // failure: say which, with the most specific text known.
    const char* what = subject ? subject : service ? service : "";
    return ZrkErrorId(kDdeFailed, MSG_DDE_ERROR, error, what);
}

void CDdeManager::AddClient(CDdeClient* client) {
    if (std::find(m_clients.begin(), m_clients.end(), client) == m_clients.end()) m_clients.push_back(client);
}

void CDdeManager::RemoveClient(CDdeClient* client) {
    m_clients.erase(std::remove(m_clients.begin(), m_clients.end(), client), m_clients.end());
}

CDdeClient* CDdeManager::FindClient(zrkos::DdeConv conv) const {
    if (!conv) return nullptr;
    for (CDdeClient* client : m_clients)
        if (client->m_conversation == conv) return client;
    return nullptr;
}

int CDdeManager::Dispatch(const zrkos::DdeIncoming& in, CString* reply) {
    using namespace zrkos;
    switch (in.type) {
    case DDE_CONNECT:
        // Offered only for names this process registered; anything else is
        // refused (the library filters such offers, so this is a trace).
        if (m_services.Find(in.item, false) < 0) {
            CString text;
            text.FormatId(MSG_DDE_CONNECT_REFUSED, in.item.c_str(), in.topic.c_str());
            ZrkTrace("%s", text.c_str());
            return ZRK_DDE_NOT_HANDLED;
        }
        return OnConnect(in.item, in.topic) == 0 ? 0 : ZRK_DDE_NOT_HANDLED;
    case DDE_CONNECT_CONFIRM:
        return OnConnectConfirm(in.conv, in.item, in.topic);
    case DDE_REGISTER: {
        // A copy: a client's hook may destroy clients.
        std::vector<CDdeClient*> clients = m_clients;
        for (CDdeClient* client : clients) client->OnServiceRegistered(in.topic);
        return 0;
    }
    default:
        break;
    }

    // Traffic on a conversation that a client of this process holds.
    if (CDdeClient* client = FindClient(in.conv)) {
        switch (in.type) {
        case DDE_ADVDATA:
            return client->OnAdviseData(in.item, in.data);
        case DDE_XACT_COMPLETE:
            return client->OnTransactionComplete(in.item, in.data);
        case DDE_DISCONNECT:
            // The server ended the conversation: its handle is of no use.
            client->m_conversation = 0;
            return client->OnDisconnect();
        default:
            return ZRK_DDE_NOT_HANDLED;
        }
    }

    // Server side.
    switch (in.type) {
    case DDE_ADVSTART:
        return OnAdviseStart(in.conv, in.topic, in.item);
    case DDE_REQUEST:
        if (in.format != kDdeTextFormat) return ZRK_DDE_NOT_HANDLED;
        return OnRequest(in.conv, in.topic, in.item, reply);
    case DDE_ADVREQ:
        if (in.format != kDdeTextFormat) return ZRK_DDE_NOT_HANDLED;
        return OnAdviseRequest(in.conv, in.topic, in.item, reply);
    case DDE_ADVDATA:
        return OnAdviseData(in.conv, in.topic, in.item, in.data);
    case DDE_POKE:
        return OnPoke(in.conv, in.topic, in.item, in.data);
    case DDE_EXECUTE:
        return OnExecute(in.conv, in.topic, in.data);
    case DDE_ADVSTOP:
        return OnAdviseStop(in.conv, in.topic, in.item);
    case DDE_XACT_COMPLETE:
        return OnTransactionComplete(in.conv, in.topic, in.item, in.data);
    case DDE_DISCONNECT:
        return OnDisconnect(in.conv);
    default:
        return ZRK_DDE_NOT_HANDLED;
    }
}

int CDdeManager::OnConnect(const char*, const char*) { return 0; }
int CDdeManager::OnConnectConfirm(zrkos::DdeConv, const char*, const char*) { return ZRK_DDE_NOT_HANDLED; }
int CDdeManager::OnAdviseStart(zrkos::DdeConv, const char*, const char*) { return ZRK_DDE_NOT_HANDLED; }
int CDdeManager::OnRequest(zrkos::DdeConv, const char*, const char*, CString*) { return ZRK_DDE_NOT_HANDLED; }
int CDdeManager::OnAdviseRequest(zrkos::DdeConv, const char*, const char*, CString*) { return ZRK_DDE_NOT_HANDLED; }
int CDdeManager::OnAdviseData(zrkos::DdeConv, const char*, const char*, const CString&) { return ZRK_DDE_NOT_HANDLED; }
int CDdeManager::OnPoke(zrkos::DdeConv, const char*, const char*, const CString&) { return ZRK_DDE_NOT_HANDLED; }
int CDdeManager::OnExecute(zrkos::DdeConv, const char*, const CString&) { return ZRK_DDE_NOT_HANDLED; }
int CDdeManager::OnAdviseStop(zrkos::DdeConv, const char*, const char*) { return ZRK_DDE_NOT_HANDLED; }
int CDdeManager::OnTransactionComplete(zrkos::DdeConv, const char*, const char*, const CString&) {
    return ZRK_DDE_NOT_HANDLED;
}
int CDdeManager::OnDisconnect(zrkos::DdeConv) { return ZRK_DDE_NOT_HANDLED; }

// ---- the client conversation ------------------------------------------------------------

CDdeClient::CDdeClient() {
    if (CDdeManager* manager = ZrkDdeManager()) {
        manager->AddClient(this);
        m_manager = manager;
    }
}

CDdeClient::~CDdeClient() {
    if (m_conversation) {
        // Nobody is left to hear about a failure.
        CReportScope quiet;
        Disconnect();
    }
    if (m_manager) m_manager->RemoveClient(this);
}

CDdeManager* CDdeClient::UsableManager() {
    if (!m_manager) {
        if (CDdeManager* manager = ZrkDdeManager()) {
            manager->AddClient(this);
            m_manager = manager;
        }
    }
    if (!m_manager) {
        ZrkErrorId(kDdeFailed, MSG_DDE_NOT_INITIALISED, 0u);
        return nullptr;
    }
    if (!CDdeManager::Available()) {
        ZrkErrorId(kDdeFailed, MSG_DDE_NOT_AVAILABLE);
        return nullptr;
    }
    return m_manager;
}

int CDdeClient::Connect(const char* service, const char* topic) {
    if (!topic || !*topic) topic = kDefaultTopic;
    CDdeManager* manager = UsableManager();
    if (!manager) return kDdeFailed;
    // An empty service name would ask every server at once.
    if (!service || !*service)
        return ZrkErrorId(kDdeFailed, MSG_DDE_INVALID_PARAMETER, static_cast<unsigned>(manager->Instance()), "", topic);
    // A second Connect replaces the conversation rather than losing it.
    if (m_conversation) ZRK_TRY(Disconnect());

    m_service = service;
    m_topic = topic;
    zrkos::DdeConv conv = zrkos::DdeConnectTo(manager->Instance(), service, topic);
    if (!conv) {
        ZRK_TRY(StartServer(service));
        for (int i = 0; i < m_retries && !conv; ++i) {
            zrkos::DdeWait(m_retryDelay);
            conv = zrkos::DdeConnectTo(manager->Instance(), service, topic);
        }
        if (!conv) return manager->ReportLastError(service, topic, nullptr);
    }
    m_conversation = conv;
    return 0;
}

int CDdeClient::Execute(const char* command) {
    if (!command) command = "";
    CDdeManager* manager = UsableManager();
    if (!manager) return kDdeFailed;
    if (!m_conversation) return ReportNotConnected(command);
    if (!zrkos::DdeExecuteText(manager->Instance(), m_conversation, command, m_timeout))
        return ReportFailure(manager, command);
    return 0;
}

int CDdeClient::Request(const char* item, CString* out) {
    if (!item) item = "";
    out->Empty();
    CDdeManager* manager = UsableManager();
    if (!manager) return kDdeFailed;
    if (!m_conversation) return ReportNotConnected(item);
    if (!zrkos::DdeRequestText(manager->Instance(), m_conversation, item, m_timeout, out)) {
        out->Empty();
        return ReportFailure(manager, item);
    }
    return 0;
}

int CDdeClient::ReportNotConnected(const char* subject) {
    // After a conversation with a service ended, say with which.
    if (!m_service.IsEmpty()) return ZrkErrorId(kDdeFailed, MSG_DDE_NO_CONVERSATION, m_service.c_str());
    return ZrkErrorId(kDdeFailed, MSG_DDE_NOT_CONNECTED, subject);
}

int CDdeClient::ReportFailure(CDdeManager* manager, const char* subject) {
    unsigned err = manager->LastError();
    // A server that ended the conversation may not have told us (Wine's
    // library does not), and the transaction then fails in whatever way the
    // library notices first: the conversation is gone, whatever the error.
    if (!zrkos::DdeConvAlive(m_conversation)) {
        zrkos::DdeDisconnectConv(m_conversation);
        m_conversation = 0;
        err = zrkos::DDE_ERR_NO_CONV_ESTABLISHED;
    }
    return manager->ReportError(err, m_service, nullptr, subject);
}

int CDdeClient::Disconnect() {
    if (!m_conversation) return 0;
    const zrkos::DdeConv conv = m_conversation;
    // A handle the library would not disconnect is of no further use
    // either: it is dropped in every case, so that Connect can start over.
    m_conversation = 0;
    // One the server already ended needs no goodbye.
    if (!zrkos::DdeConvAlive(conv)) {
        zrkos::DdeDisconnectConv(conv);
        return 0;
    }
    if (!zrkos::DdeDisconnectConv(conv)) {
        if (m_manager) return m_manager->ReportLastError(m_service, m_topic, nullptr);
        return ZrkErrorId(kDdeFailed, MSG_DDE_NOT_INITIALISED, 0u);
    }
    return 0;
}

int CDdeClient::StartServer(const char* service) {
    CProfile* settings = ZrkSettings();
    CString command = m_serverCommand;
    if (command.IsEmpty() && settings) {
        CProfile services(*settings);
        services.SetSection(kServicesSection);
        command = services.GetText(service, "");
    }
    if (command.IsEmpty()) command = service;

    CApp* app = ZrkApp();
    if (!app) return ZRK_INTERNAL_ERROR();  // the launcher belongs to the application
    ZRK_TRY(app->StartProcess(command, m_serverDirectory, false, true));

    // Remember the command that worked for the next run.
    if (!settings) return 0;
    CProfile services(*settings);
    services.SetSection(kServicesSection);
    if (services.WriteText(service, command) != 0)
        return ZrkErrorId(ZRK_FAIL, MSG_DDE_SERVICES_WRITE, service, services.File().c_str());
    return 0;
}

int CDdeClient::OnAdviseData(const char*, const CString&) { return 0; }
int CDdeClient::OnTransactionComplete(const char*, const CString&) { return 0; }
int CDdeClient::OnDisconnect() { return 0; }
int CDdeClient::OnServiceRegistered(const char*) { return 0; }

// ---- the transaction forms (zrk/os/dde_os.h) -------------------------------------------

namespace zrkos {

bool DdeOffered(unsigned type) { return type != DDE_WILDCONNECT; }

bool DdeCarriesData(unsigned type) {
    return type == DDE_EXECUTE || type == DDE_POKE || type == DDE_ADVDATA || type == DDE_XACT_COMPLETE;
}

DdeAnswer DdeAnswerFor(unsigned type, unsigned format, bool handled) {
    switch (type) {
    case DDE_CONNECT:
    case DDE_ADVSTART:
        return handled ? DDE_ANSWER_TRUE : DDE_ANSWER_FALSE;
    case DDE_REQUEST:
    case DDE_ADVREQ:
        return handled && format == kDdeTextFormat ? DDE_ANSWER_TEXT : DDE_ANSWER_NONE;
    case DDE_EXECUTE:
    case DDE_POKE:
    case DDE_ADVDATA:
        return handled ? DDE_ANSWER_ACK : DDE_ANSWER_NOT_PROCESSED;
    default:
        return DDE_ANSWER_NONE;
    }
}

CString DdeDataText(const char* bytes, size_t size) {
    if (!bytes) return CString();
    const void* zero = std::memchr(bytes, 0, size);
    size_t n = zero ? static_cast<size_t>(static_cast<const char*>(zero) - bytes) : size;
    if (n > static_cast<size_t>(CString::MAXLEN)) n = static_cast<size_t>(CString::MAXLEN);
    return CString(bytes, static_cast<int>(n));
}

}  // namespace zrkos
