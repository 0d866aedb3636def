#include "platform/linux/LinuxPlatform.hpp"

namespace velmar::linux_backend {

LinuxPlatform::LinuxPlatform()
    : install_(PrefixInstallLayout::forThisProcess()),
      settings_(JsonFileSettings::defaultPath(environment_), log_),
      login_(XdgAutostartLoginService::defaultEntryPath(environment_), install_.executablePath()),
      workspace_(environment_),
      platform_{loop_, settings_, install_, login_, environment_, log_, workspace_, accessibility_, clipboard_, processes_} {
    accessibility_.setTrusted(false);
    workspace_.attachLoop(&loop_);  // launches and ends reach subscribers on this loop
}

}  // namespace velmar::linux_backend
