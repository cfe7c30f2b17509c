// DDE conversations: the process-wide DDE manager (a framework module) and
// the client conversation.
//
// A client connects to a service and topic, sends command strings, requests
// items as text and disconnects. When no server answers it starts the
// server program itself (the command from the settings section
// "DdeServices", else the service name) and waits for it. The manager can
// also serve: a program derives its own manager class, installs it with
// CDdeManager::SetFactory before the modules start, registers its service
// names and overrides the transaction handlers.
//
// Failures are reported once through the DDE error report (the library's
// last error turned into a message) and return -53.
#pragma once

#include <cstdint>
#include <vector>

#include "zrk/cstring.h"
#include "zrk/module.h"
#include "zrk/os/dde_os.h"

class CDdeClient;

// What a handler returns for a transaction it does not serve (not an
// error: nothing is reported).
constexpr int ZRK_DDE_NOT_HANDLED = 1;
// Result of an uninitialisation that the library refused.
constexpr int ZRK_DDE_END_FAILED = -3550;

class CDdeManager : public CModule {
public:
    using Factory = CDdeManager* (*)();

    CDdeManager() = default;
    // A manager that registers SERVICE when it starts.
    explicit CDdeManager(const char* service) : m_startService(service) {}
    ~CDdeManager() override;
    CDdeManager(const CDdeManager&) = delete;
    CDdeManager& operator=(const CDdeManager&) = delete;

    // The module: started with the other framework modules, stopped at
    // shut-down.
    int Initialise() override { return Start(m_startService); }
    int Terminate() override { return End(); }

    // The module "DdeManager" creates its manager through FACTORY (a
    // program's own server class); nullptr restores the plain manager.
    static void SetFactory(Factory factory);
    // Whether this platform has DDE.
    static bool Available();

    // Initialises the library with this manager's callback and registers
    // SERVICE when one is given. Without DDE on the platform the manager
    // starts idle (clients then report that DDE is not available).
    int Start(const char* service = nullptr);
    // Disconnects the live client conversations, unregisters the service
    // names and uninitialises the library (-3550 when it refuses).
    int End();
    bool IsStarted() const { return m_started; }
    uint32_t Instance() const { return m_instance; }

    int RegisterService(const char* service);
    int UnregisterService(const char* service);
    const CStringList& Services() const { return m_services; }

    // The DDE error report: reads the library's last error and reports it
    // with what is known (SERVICE and TOPIC for connections, SUBJECT the
    // command or item). Returns -53.
    int ReportLastError(const char* service, const char* topic, const char* subject);
    // The library's last error (reading it resets it).
    unsigned LastError();
    // The report for a known error number (the last error already read).
    int ReportError(unsigned error, const char* service, const char* topic, const char* subject);

    // The live client conversations (constructed while this manager was
    // started and not yet destroyed).
    const std::vector<CDdeClient*>& Clients() const { return m_clients; }
    void AddClient(CDdeClient* client);
    void RemoveClient(CDdeClient* client);

    // Server side: incoming transactions on conversations that no client of
    // this process holds. 0 handles the transaction (acknowledge, or answer
    // with *DATA); ZRK_DDE_NOT_HANDLED refuses it. The plain manager handles
    // nothing.
    //
    // A connection reaches OnConnect only for a registered service name;
    // 0 accepts it (the plain manager accepts every topic).
    virtual int OnConnect(const char* service, const char* topic);
    virtual int OnConnectConfirm(zrkos::DdeConv conv, const char* service, const char* topic);
    virtual int OnAdviseStart(zrkos::DdeConv conv, const char* topic, const char* item);
    virtual int OnRequest(zrkos::DdeConv conv, const char* topic, const char* item, CString* data);
    virtual int OnAdviseRequest(zrkos::DdeConv conv, const char* topic, const char* item, CString* data);
    virtual int OnAdviseData(zrkos::DdeConv conv, const char* topic, const char* item, const CString& data);
    virtual int OnPoke(zrkos::DdeConv conv, const char* topic, const char* item, const CString& data);
    virtual int OnExecute(zrkos::DdeConv conv, const char* topic, const CString& command);
    virtual int OnAdviseStop(zrkos::DdeConv conv, const char* topic, const char* item);
    virtual int OnTransactionComplete(zrkos::DdeConv conv, const char* topic, const char* item,
                                      const CString& data);
    virtual int OnDisconnect(zrkos::DdeConv conv);

    // Hands one incoming transaction to the client that holds its
    // conversation or to the handlers above (the library's callback calls
    // this; tests may too).
    int Dispatch(const zrkos::DdeIncoming& in, CString* reply);

private:
    CDdeClient* FindClient(zrkos::DdeConv conv) const;

    CString m_startService;
    uint32_t m_instance = 0;
    bool m_started = false;
    bool m_available = false;  // the library is initialised
    CStringList m_services;
    std::vector<CDdeClient*> m_clients;
};

// The process's started DDE manager, or nullptr.
CDdeManager* ZrkDdeManager();

class CDdeClient {
public:
    static constexpr unsigned kDefaultTimeout = 20000;  // ms per transaction
    static constexpr int kDefaultRetries = 10;          // connects after starting the server
    static constexpr unsigned kDefaultRetryDelay = 2000;  // ms before each of them

    CDdeClient();
    virtual ~CDdeClient();
    CDdeClient(const CDdeClient&) = delete;
    CDdeClient& operator=(const CDdeClient&) = delete;

    // Connects to SERVICE on TOPIC ("System" when none). When no server
    // answers, StartServer runs and the connection is tried again up to the
    // retry count, waiting the retry delay before each try.
    int Connect(const char* service, const char* topic = nullptr);
    // Sends COMMAND (with its terminating zero) as an execute transaction.
    int Execute(const char* command);
    // Requests ITEM as text into *OUT.
    int Request(const char* item, CString* out);
    int Disconnect();

    // Starts the server of SERVICE: the server command if set, else the
    // value of SERVICE in the settings section "DdeServices", else the
    // service name itself; the command that started is written back there.
    virtual int StartServer(const char* service);
    // Transactions that arrive on this conversation from the server; the
    // plain client ignores them.
    virtual int OnAdviseData(const char* item, const CString& data);
    virtual int OnTransactionComplete(const char* item, const CString& data);
    virtual int OnDisconnect();
    virtual int OnServiceRegistered(const char* service);

    zrkos::DdeConv Conversation() const { return m_conversation; }
    bool IsConnected() const { return m_conversation != 0; }
    unsigned Timeout() const { return m_timeout; }
    void SetTimeout(unsigned ms) { m_timeout = ms; }
    const CString& ServerCommand() const { return m_serverCommand; }
    void SetServerCommand(const char* command) { m_serverCommand = command; }
    const CString& ServerDirectory() const { return m_serverDirectory; }
    void SetServerDirectory(const char* dir) { m_serverDirectory = dir; }
    // How often and how far apart Connect tries again after starting the
    // server.
    void SetRetries(int count, unsigned delayMs) {
        m_retries = count;
        m_retryDelay = delayMs;
    }
    int Retries() const { return m_retries; }
    unsigned RetryDelay() const { return m_retryDelay; }
    // The service and topic of the current or last conversation.
    const CString& Service() const { return m_service; }
    const CString& Topic() const { return m_topic; }

private:
    friend class CDdeManager;
    // The started manager this client is registered with (registering now
    // when it was constructed before the manager started); nullptr after
    // reporting that there is none or that DDE is not available.
    CDdeManager* UsableManager();
    int ReportNotConnected(const char* subject);
    // The report of a failed transaction; forgets the conversation when the
    // server has ended it.
    int ReportFailure(CDdeManager* manager, const char* subject);

    zrkos::DdeConv m_conversation = 0;
    unsigned m_timeout = kDefaultTimeout;
    CString m_serverCommand;
    CString m_serverDirectory;
    CString m_service, m_topic;
    int m_retries = kDefaultRetries;
    unsigned m_retryDelay = kDefaultRetryDelay;
    CDdeManager* m_manager = nullptr;
};
