#include "kestrane/profile.h"

#include <cmath>
#include <fstream>
#include <sstream>

#include "json.h"

namespace kestrane {

namespace {

constexpr std::uint32_t maxInputs = 63; // the channel module has room for 64 channels

double ownRate(const Profile &p, std::uint32_t channel)
{
    if (channel == 0)
        return p.syncPeriod > 0 ? 1.0 / p.syncPeriod : 0.0;
    return channel - 1 < p.rates.size() ? p.rates[channel - 1] : 0.0;
}

class Reader {
public:
    explicit Reader(std::string &error) : error_(error) {}

    bool fail(const std::string &what)
    {
        error_ = what;
        return false;
    }

    bool number(const json::Value &v, const std::string &key, double min, double max, double &out)
    {
        if (v.kind != json::Value::Kind::Number)
            return fail("\"" + key + "\" must be a number, not " + v.kindName());
        if (!(v.number >= min && v.number <= max))
            return fail("\"" + key + "\" must lie between " + fmt(min) + " and " + fmt(max));
        out = v.number;
        return true;
    }

    bool integer(const json::Value &v, const std::string &key, double min, double max,
                 std::uint64_t &out)
    {
        double d = 0;
        if (!number(v, key, min, max, d))
            return false;
        if (std::floor(d) != d)
            return fail("\"" + key + "\" must be a whole number");
        out = static_cast<std::uint64_t>(d);
        return true;
    }

    static std::string fmt(double d)
    {
        std::ostringstream s;
        s << d;
        return s.str();
    }

private:
    std::string &error_;
};

bool readPair(Reader &r, const json::Value &v, std::size_t index, CorrelatedPair &pair)
{
    const std::string where = "\"pairs\"[" + std::to_string(index) + "]";
    if (v.kind != json::Value::Kind::Object)
        return r.fail(where + " must be an object");
    bool haveFrom = false, haveTo = false;
    for (const auto &[key, value] : v.object) {
        const std::string name = where + "." + key;
        std::uint64_t u = 0;
        if (key == "from") {
            if (!r.integer(value, name, 0, maxInputs, u))
                return false;
            pair.from = static_cast<std::uint32_t>(u);
            haveFrom = true;
        } else if (key == "to") {
            if (!r.integer(value, name, 1, maxInputs, u))
                return false;
            pair.to = static_cast<std::uint32_t>(u);
            haveTo = true;
        } else if (key == "delay") {
            if (!r.number(value, name, 0, 1, pair.delay))
                return false;
        } else if (key == "jitter") {
            if (!r.number(value, name, 0, 1, pair.jitter))
                return false;
        } else if (key == "fraction") {
            if (!r.number(value, name, 0, 1, pair.fraction))
                return false;
        } else {
            return r.fail("unknown key \"" + key + "\" in " + where);
        }
    }
    if (!haveFrom || !haveTo)
        return r.fail(where + " needs \"from\" and \"to\"");
    if (pair.from == pair.to)
        return r.fail(where + " pairs a channel with itself");
    return true;
}

} // namespace

double Profile::inputRate(std::uint32_t channel) const
{
    double rate = ownRate(*this, channel);
    for (const auto &p : pairs)
        if (p.to == channel)
            rate += p.fraction * ownRate(*this, p.from);
    return rate;
}

double Profile::processedRate(std::uint32_t channel) const
{
    const double r = inputRate(channel);
    // The sync channel is clocked, not detected: it loses nothing to the dead time.
    return channel == 0 ? r : r / (1.0 + r * deadTime);
}

const std::string &defaultProfileJson()
{
    static const std::string text = R"({
  "inputs": 8,
  "syncPeriod": 277.777777e-6,
  "rates": [1000, 2000, 5000, 10000, 20000, 50000, 100000, 200000],
  "pairs": [
    {"from": 1, "to": 2, "delay": 12e-9, "jitter": 100e-12, "fraction": 0.5},
    {"from": 3, "to": 4, "delay": 25e-9, "jitter": 50e-12, "fraction": 0.8}
  ],
  "deadTime": 5e-9,
  "coarseBits": 8,
  "fineBits": 16,
  "tdcPeriod": 2.5e-9,
  "minBinWidth": 1e-12,
  "seed": 1
}
)";
    return text;
}

Profile defaultProfile()
{
    Profile p;
    std::string error;
    parseProfile(defaultProfileJson(), p, error);
    return p;
}

bool parseProfile(const std::string &text, Profile &out, std::string &error)
{
    json::Value root;
    if (!json::parse(text, root, error))
        return false;
    Reader r(error);
    if (root.kind != json::Value::Kind::Object)
        return r.fail("a board profile must be a JSON object");

    Profile p;
    p.rates.clear();
    bool haveRates = false;
    for (const auto &[key, v] : root.object) {
        std::uint64_t u = 0;
        if (key == "inputs") {
            if (!r.integer(v, key, 1, maxInputs, u))
                return false;
            p.inputs = static_cast<std::uint32_t>(u);
        } else if (key == "syncPeriod") {
            if (!r.number(v, key, 0, 1000, p.syncPeriod))
                return false;
            if (p.syncPeriod > 0 && p.syncPeriod < 1e-8)
                return r.fail("\"syncPeriod\" must be 0 or at least 1e-8 s");
        } else if (key == "rates") {
            if (v.kind != json::Value::Kind::Array)
                return r.fail("\"rates\" must be an array of numbers");
            for (std::size_t i = 0; i < v.array.size(); ++i) {
                double rate = 0;
                if (!r.number(v.array[i], "rates[" + std::to_string(i) + "]", 0, 1e9, rate))
                    return false;
                p.rates.push_back(rate);
            }
            haveRates = true;
        } else if (key == "pairs") {
            if (v.kind != json::Value::Kind::Array)
                return r.fail("\"pairs\" must be an array of objects");
            for (std::size_t i = 0; i < v.array.size(); ++i) {
                CorrelatedPair pair;
                if (!readPair(r, v.array[i], i, pair))
                    return false;
                p.pairs.push_back(pair);
            }
        } else if (key == "deadTime") {
            if (!r.number(v, key, 0, 1e-3, p.deadTime))
                return false;
        } else if (key == "coarseBits") {
            if (!r.integer(v, key, 1, 32, u))
                return false;
            p.coarseBits = static_cast<std::uint32_t>(u);
        } else if (key == "fineBits") {
            if (!r.integer(v, key, 1, 32, u))
                return false;
            p.fineBits = static_cast<std::uint32_t>(u);
        } else if (key == "tdcPeriod") {
            if (!r.number(v, key, 1e-15, 4e-6, p.tdcPeriod))
                return false;
        } else if (key == "minBinWidth") {
            if (!r.number(v, key, 1e-15, 4e-6, p.minBinWidth))
                return false;
        } else if (key == "seed") {
            if (!r.integer(v, key, 0, 9007199254740992.0, u))
                return false;
            p.seed = u;
        } else {
            return r.fail("unknown key \"" + key + "\" in the board profile");
        }
    }
    if (!haveRates)
        p.rates.assign(p.inputs, 1000.0);
    if (p.rates.size() != p.inputs)
        return r.fail("\"rates\" lists " + std::to_string(p.rates.size()) +
                      " rates for " + std::to_string(p.inputs) + " inputs");
    for (std::size_t i = 0; i < p.pairs.size(); ++i)
        if (p.pairs[i].from > p.inputs || p.pairs[i].to > p.inputs)
            return r.fail("\"pairs\"[" + std::to_string(i) + "] names a channel above " +
                          std::to_string(p.inputs));
    out = p;
    return true;
}

bool loadProfile(const std::string &path, Profile &out, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open the board profile \"" + path + "\"";
        return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) {
        error = "cannot read the board profile \"" + path + "\"";
        return false;
    }
    if (!parseProfile(s.str(), out, error)) {
        error = "board profile \"" + path + "\": " + error;
        return false;
    }
    return true;
}

} // namespace kestrane
