// A network interface inside the private network of tests/isolated, for
// discovery across several networks: a veth pair (named vcq*) whose both
// ends stay in the namespace, so it carries nothing off the machine (the
// kernel here has no dummy interfaces). tests/isolated accepts these and
// refuses any other interface besides lo. Linux only; removed when destroyed.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "isolated_env.h"

namespace vcq::test {

class PrivateNetwork {
  public:
    // `addresses` in CIDR form ("192.0.2.1/24"), the interface's own first.
    PrivateNetwork(std::string name, const std::vector<std::string>& addresses)
        : name_(std::move(name)) {
        // Never on the machine's own network: only where lo and our own
        // dummies are all there is.
        if (!InsideIsolatedNetwork() || !OnlyPrivateLinks())
            return;
        ok_ = Run("ip link add " + name_ + " type veth peer name " + name_ + "p");
        for (const std::string& address : addresses)
            ok_ = ok_ && Run("ip addr add " + address + " dev " + name_);
        ok_ = ok_ && Run("ip link set " + name_ + "p up") && Run("ip link set " + name_ + " up");
    }
    PrivateNetwork(const PrivateNetwork&) = delete;
    PrivateNetwork& operator=(const PrivateNetwork&) = delete;
    ~PrivateNetwork() {
        if (InsideIsolatedNetwork())
            Run("ip link del " + name_ + " 2>/dev/null");
    }
    bool ok() const { return ok_; }

  private:
    static bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }
    static bool OnlyPrivateLinks() {
        std::FILE* pipe = popen("ip -d -o link show", "r");
        if (!pipe)
            return false;
        bool only = true;
        char line[4096];
        while (std::fgets(line, sizeof line, pipe)) {
            const std::string text = line;
            // A veth whose peer is elsewhere shows as "name@ifN".
            const bool ours = text.find(": vcq") != std::string::npos &&
                              text.find("@vcq") != std::string::npos &&
                              text.find(" veth ") != std::string::npos;
            if (text.find(": lo:") == std::string::npos && !ours)
                only = false;
        }
        pclose(pipe);
        return only;
    }

    std::string name_;
    bool ok_ = false;
};

}  // namespace vcq::test
