#pragma once
// Every port in one place. The composition root builds a backend (simulated or
// real) and hands the agent this aggregate by reference; nothing below the
// root knows which backend it got.

namespace velmar {

class Accessibility;
class Clipboard;
class InstallLayout;
class LogSink;
class LoginService;
class MainLoop;
class ProcessLauncher;
class ProcessEnvironment;
class Settings;
class Workspace;

struct Platform {
    MainLoop& loop;
    Settings& settings;
    InstallLayout& install;
    LoginService& login;
    ProcessEnvironment& environment;
    LogSink& log;
    Workspace& workspace;
    Accessibility& accessibility;
    Clipboard& clipboard;
    ProcessLauncher& processes;
};

}  // namespace velmar
