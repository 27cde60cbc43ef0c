#include "app/core/SyncClients.h"

namespace quillet {

const std::vector<ClientSync>& ClientSyncs() {
    static const std::vector<ClientSync> syncs = {};
    return syncs;
}

}  // namespace quillet
