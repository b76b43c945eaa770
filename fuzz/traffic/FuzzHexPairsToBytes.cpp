#include "fuzz/traffic/ParserBounds.h"
#include "traffic/Codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return CheckParserBounds(HexPairsToBytes, data, size);
}
