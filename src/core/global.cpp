#include "core/global.h"

namespace lumivex {

Global::Global() {
  m_AppIdent = m_ClientType.str() + m_AppName.str() + m_ClientVersion.str() + m_ProtocolVersion.str();
}

}  // namespace lumivex
