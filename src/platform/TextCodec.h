#pragma once
// UTF-8 for what the program writes for people to read (the undo record), from and to the CP936
// bytes it works in. Both fail rather than guess.
#include <string>

class TextCodec {
public:
    virtual ~TextCodec() = default;
    virtual bool Cp936ToUtf8(const std::string& cp936, std::string& utf8) = 0;
    virtual bool Utf8ToCp936(const std::string& utf8, std::string& cp936) = 0;
};
