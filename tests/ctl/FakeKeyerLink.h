#pragma once

#include <map>
#include <string>
#include <vector>

#include "KeyerLink.h"

namespace pelkora::test {

// Records each call as text ("PlayMacros('~[tx]', 'DL1ABC', '')", "Control(5)",
// "set Left=10", "get Top") and answers from a script: the reply for a
// method (Ok by default), the properties' values, the states monitor() hands on.
class FakeKeyerLink : public KeyerLink {
  public:
    std::vector<std::string> calls;
    std::map<std::string, Reply> replies;  // by method or property name
    std::map<std::string, std::int32_t> properties;
    std::vector<std::int32_t> states;
    Reply monitorEnd;

    Reply call(const std::string& method, const std::vector<Argument>& arguments) override {
        std::string line = method + "(";
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            line += i ? ", " : "";
            if (const auto* text = std::get_if<std::string>(&arguments[i])) {
                line += "'" + *text + "'";
            } else {
                line += std::to_string(std::get<std::int32_t>(arguments[i]));
            }
        }
        calls.push_back(line + ")");
        return replyTo(method);
    }
    Reply readProperty(const std::string& name) override {
        calls.push_back("get " + name);
        Reply reply = replyTo(name);
        reply.value = properties[name];
        return reply;
    }
    Reply writeProperty(const std::string& name, std::int32_t value) override {
        calls.push_back("set " + name + "=" + std::to_string(value));
        properties[name] = value;
        return replyTo(name);
    }
    Reply monitor(const std::function<void(std::int32_t)>& onState) override {
        calls.push_back("monitor");
        for (const std::int32_t code : states) {
            onState(code);
        }
        return monitorEnd;
    }

  private:
    Reply replyTo(const std::string& name) const {
        const auto found = replies.find(name);
        return found == replies.end() ? Reply{} : found->second;
    }
};

}  // namespace pelkora::test
