// One network service of a stand-in camera (web server, FTP server,
// discovery responder). A camera starts its services in order and stops
// them in reverse order.
#pragma once

#include <string>

namespace vcq::sim {

class Service {
  public:
    virtual ~Service() = default;
    virtual std::string Name() const = 0;
    // False, with `error` set, when the service cannot run (port in use...).
    virtual bool Start(std::string& error) = 0;
    // Asks the service's threads to end without waiting for them, so that
    // many services can wind down together before each is stopped.
    virtual void BeginStop() {}
    // Ends and joins every thread of the service; quick (well under a second).
    virtual void Stop() = 0;
};

}  // namespace vcq::sim
