#pragma once
// CP936 <-> UTF-8 with the doubles' CP936 tables; refuses what either side cannot hold.
#include "platform/TextCodec.h"

class TextCodecDouble : public TextCodec {
public:
    bool Cp936ToUtf8(const std::string& cp936, std::string& utf8) override;
    bool Utf8ToCp936(const std::string& utf8, std::string& cp936) override;
};
