#include "kestrane/profile.h"

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

namespace kestrane {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::uint32_t maxInputs = 63; // the channel module has room for 64 channels
constexpr int maxDepth = 16;            // profiles are shallow; deeper nesting is a mistake
// A DAC must reach this many standard deviations above the mean pulse height, so a threshold
// at the top of its range counts nothing.
constexpr double heightReach = 5.0;

double ownRate(const Profile &p, std::uint32_t channel)
{
    if (channel == 0)
        return p.syncPeriod > 0 ? 1.0 / p.syncPeriod : 0.0;
    return channel - 1 < p.rates.size() ? p.rates[channel - 1] : 0.0;
}

const char *kindName(const Json &v)
{
    switch (v.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::boolean: return "true or false";
    case Json::value_t::string: return "a text";
    case Json::value_t::array: return "an array";
    case Json::value_t::object: return "an object";
    case Json::value_t::discarded: return "nothing";
    default: return "a number";
    }
}

std::string fmt(double d)
{
    std::ostringstream s;
    s << d;
    return s.str();
}

class Reader {
public:
    explicit Reader(std::string &error) : error_(error) {}

    bool fail(const std::string &what)
    {
        error_ = what;
        return false;
    }

    bool number(const Json &v, const std::string &key, double min, double max, double &out)
    {
        if (!v.is_number())
            return fail("\"" + key + "\" must be a number, not " + kindName(v));
        const double d = v.get<double>();
        if (!(d >= min && d <= max))
            return fail("\"" + key + "\" must lie between " + fmt(min) + " and " + fmt(max) +
                        ", not " + fmt(d));
        out = d;
        return true;
    }

    bool integer(const Json &v, const std::string &key, double min, double max, std::uint64_t &out)
    {
        double d = 0;
        if (!number(v, key, min, max, d))
            return false;
        if (std::floor(d) != d)
            return fail("\"" + key + "\" must be a whole number, not " + fmt(d));
        out = static_cast<std::uint64_t>(d);
        return true;
    }

    bool boolean(const Json &v, const std::string &key, bool &out)
    {
        if (!v.is_boolean())
            return fail("\"" + key + "\" must be true or false, not " + kindName(v));
        out = v.get<bool>();
        return true;
    }

    bool text(const Json &v, const std::string &key, std::string &out)
    {
        if (!v.is_string())
            return fail("\"" + key + "\" must be a text, not " + kindName(v));
        out = v.get<std::string>();
        return true;
    }

    // A per-input key: one value for every input, or an array with one value per input.
    // `read` reads one value named by its second argument into the shape given.
    template <class Read>
    bool perInput(const Json &v, const std::string &key, std::vector<InputShape> &shapes, Read read)
    {
        if (!v.is_array()) {
            for (auto &s : shapes)
                if (!read(v, key, s))
                    return false;
            return true;
        }
        if (v.size() != shapes.size())
            return fail("\"" + key + "\" lists " + std::to_string(v.size()) + " values for " +
                        std::to_string(shapes.size()) + " inputs");
        for (std::size_t i = 0; i < v.size(); ++i)
            if (!read(v[i], key + "[" + std::to_string(i) + "]", shapes[i]))
                return false;
        return true;
    }

    // An object with exactly the keys `read` accepts.
    template <class Read>
    bool object(const Json &v, const std::string &where, Read read)
    {
        if (!v.is_object())
            return fail("\"" + where + "\" must be an object, not " + kindName(v));
        for (const auto &[key, value] : v.items()) {
            int known = read(key, value, where + "." + key);
            if (known < 0)
                return false;
            if (known == 0)
                return fail("unknown key \"" + key + "\" in \"" + where + "\"");
        }
        return true;
    }

private:
    std::string &error_;
};

bool readPair(Reader &r, const Json &v, std::size_t index, CorrelatedPair &pair)
{
    const std::string where = "pairs[" + std::to_string(index) + "]";
    bool haveFrom = false, haveTo = false;
    // 1: read, 0: unknown key, -1: bad value
    const auto field = [&](const std::string &key, const Json &value, const std::string &name) {
        std::uint64_t u = 0;
        bool ok = true;
        if (key == "from") {
            ok = r.integer(value, name, 0, maxInputs, u);
            pair.from = static_cast<std::uint32_t>(u);
            haveFrom = true;
        } else if (key == "to") {
            ok = r.integer(value, name, 1, maxInputs, u);
            pair.to = static_cast<std::uint32_t>(u);
            haveTo = true;
        } else if (key == "delay") {
            ok = r.number(value, name, 0, 1, pair.delay);
        } else if (key == "jitter") {
            ok = r.number(value, name, 0, 1, pair.jitter);
        } else if (key == "fraction") {
            ok = r.number(value, name, 0, 1, pair.fraction);
        } else {
            return 0;
        }
        return ok ? 1 : -1;
    };
    if (!r.object(v, where, field))
        return false;
    if (!haveFrom || !haveTo)
        return r.fail("\"" + where + "\" needs \"from\" and \"to\"");
    if (pair.from == pair.to)
        return r.fail("\"" + where + "\" pairs a channel with itself");
    return true;
}

bool readShapes(Reader &r, const std::string &key, const Json &v, std::vector<InputShape> &shapes,
                bool &known)
{
    known = true;
    if (key == "pulseWidth")
        return r.perInput(v, key, shapes, [&r](const Json &x, const std::string &name, InputShape &s) {
            return r.number(x, name, 1e-12, 1e-3, s.pulseWidth);
        });
    if (key == "threshold")
        return r.perInput(v, key, shapes, [&r](const Json &x, const std::string &name, InputShape &s) {
            return r.number(x, name, -100, 100, s.threshold);
        });
    if (key == "pulseHeight")
        return r.perInput(v, key, shapes, [&r](const Json &x, const std::string &name, InputShape &s) {
            return r.object(x, name, [&](const std::string &k, const Json &value, const std::string &n) {
                if (k == "mean")
                    return r.number(value, n, 0, 100, s.heightMean) ? 1 : -1;
                if (k == "sigma")
                    return r.number(value, n, 0, 100, s.heightSigma) ? 1 : -1;
                return 0;
            });
        });
    if (key == "noise")
        return r.perInput(v, key, shapes, [&r](const Json &x, const std::string &name, InputShape &s) {
            return r.object(x, name, [&](const std::string &k, const Json &value, const std::string &n) {
                if (k == "sigma")
                    return r.number(value, n, 0, 10, s.noiseSigma) ? 1 : -1;
                if (k == "f0")
                    return r.number(value, n, 0, 1e9, s.noiseRate) ? 1 : -1;
                return 0;
            });
        });
    known = false;
    return true;
}

// Parses with nlohmann's reader, refusing what it lets through: the same key twice in one
// object (it would keep the last silently) and absurd nesting.
bool parseDocument(const std::string &text, Json &out, std::string &error)
{
    std::vector<std::set<std::string>> keys;
    std::string problem;
    const Json::parser_callback_t check = [&](int depth, Json::parse_event_t event, Json &parsed) {
        if (!problem.empty())
            return true;
        if (depth > maxDepth) {
            problem = "the JSON is nested too deep";
        } else if (event == Json::parse_event_t::object_start) {
            keys.emplace_back();
        } else if (event == Json::parse_event_t::object_end) {
            if (!keys.empty())
                keys.pop_back();
        } else if (event == Json::parse_event_t::key && !keys.empty()) {
            const auto key = parsed.get<std::string>();
            if (!keys.back().insert(key).second)
                problem = "the key \"" + key + "\" appears twice in one object";
        }
        return true;
    };
    try {
        out = Json::parse(text, check);
    } catch (const Json::exception &e) {
        // e.g. "[json.exception.parse_error.101] parse error at line 2, column 10: ...", or a
        // number too large for a double ("out_of_range.406").
        std::string what = e.what();
        const auto at = what.find("] ");
        error = "the board profile is not valid JSON: " +
                (at == std::string::npos ? what : what.substr(at + 2));
        return false;
    }
    if (!problem.empty()) {
        error = problem;
        return false;
    }
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

const InputShape &Profile::shape(std::uint32_t channel) const
{
    static const InputShape sync;
    return channel >= 1 && channel - 1 < shapes.size() ? shapes[channel - 1] : sync;
}

const std::string &defaultProfileJson()
{
    static const std::string text = R"({
  "inputs": 8,
  "syncPeriod": 277.777777e-6,
  "rates": [1000, 2000, 5000, 10000, 20000, 50000, 100000, 200000],
  "periodic": false,
  "pulseWidth": 5e-9,
  "pulseHeight": {"mean": 0.5, "sigma": 0.05},
  "noise": {"sigma": 0.01, "f0": 1e6},
  "threshold": 0.1,
  "pairs": [
    {"from": 1, "to": 2, "delay": 12e-9, "jitter": 100e-12, "fraction": 0.5},
    {"from": 3, "to": 4, "delay": 25e-9, "jitter": 50e-12, "fraction": 0.8}
  ],
  "deadTime": 5e-9,
  "coarseBits": 8,
  "fineBits": 16,
  "tdcPeriod": 2.5e-9,
  "minBinWidth": 1e-12,
  "seed": 1,
  "histogrammers": 4,
  "histogramBins": 65536,
  "legacyHistogrammer": true,
  "dacRange": [-0.2, 1.0],
  "dacBits": 12,
  "tagFifo": 1048576,
  "tagLinkRate": 400e6,
  "replay": [],
  "replayPacing": "wall"
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
    Json root;
    if (!parseDocument(text, root, error))
        return false;
    Reader r(error);
    if (!root.is_object())
        return r.fail("a board profile must be a JSON object");

    Profile p;
    p.rates.clear();
    bool haveRates = false;
    // Per-input keys are read once the number of inputs is known, whatever their order.
    if (const auto it = root.find("inputs"); it != root.end()) {
        std::uint64_t u = 0;
        if (!r.integer(*it, "inputs", 1, maxInputs, u))
            return false;
        p.inputs = static_cast<std::uint32_t>(u);
    }
    p.shapes.assign(p.inputs, InputShape{});

    for (const auto &[key, v] : root.items()) {
        std::uint64_t u = 0;
        bool shapeKey = false;
        if (!readShapes(r, key, v, p.shapes, shapeKey))
            return false;
        if (shapeKey || key == "inputs")
            continue;
        if (key == "syncPeriod") {
            if (!r.number(v, key, 0, 1000, p.syncPeriod))
                return false;
            if (p.syncPeriod > 0 && p.syncPeriod < 1e-8)
                return r.fail("\"syncPeriod\" must be 0 or at least 1e-8 s, not " + fmt(p.syncPeriod));
        } else if (key == "rates") {
            if (!v.is_array())
                return r.fail("\"rates\" must be an array of numbers, not " + std::string(kindName(v)));
            for (std::size_t i = 0; i < v.size(); ++i) {
                double rate = 0;
                if (!r.number(v[i], "rates[" + std::to_string(i) + "]", 0, 1e9, rate))
                    return false;
                p.rates.push_back(rate);
            }
            haveRates = true;
        } else if (key == "periodic") {
            if (!r.boolean(v, key, p.periodic))
                return false;
        } else if (key == "pairs") {
            if (!v.is_array())
                return r.fail("\"pairs\" must be an array of objects, not " + std::string(kindName(v)));
            for (std::size_t i = 0; i < v.size(); ++i) {
                CorrelatedPair pair;
                if (!readPair(r, v[i], i, pair))
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
        } else if (key == "histogrammers") {
            if (!r.integer(v, key, 0, 16, u))
                return false;
            p.histogrammers = static_cast<std::uint32_t>(u);
        } else if (key == "histogramBins") {
            if (!r.integer(v, key, 1 << 10, 1 << 20, u))
                return false;
            if ((u & (u - 1)) != 0)
                return r.fail("\"histogramBins\" must be a power of two, not " + std::to_string(u));
            p.histogramBins = static_cast<std::uint32_t>(u);
        } else if (key == "legacyHistogrammer") {
            if (!r.boolean(v, key, p.legacyHistogrammer))
                return false;
        } else if (key == "dacRange") {
            if (!v.is_array() || v.size() != 2)
                return r.fail("\"dacRange\" must be an array of two numbers: [min V, max V]");
            if (!r.number(v[0], "dacRange[0]", -100, 100, p.dacMin) ||
                !r.number(v[1], "dacRange[1]", -100, 100, p.dacMax))
                return false;
        } else if (key == "dacBits") {
            if (!r.integer(v, key, 1, 24, u))
                return false;
            p.dacBits = static_cast<std::uint32_t>(u);
        } else if (key == "tagFifo") {
            if (!r.integer(v, key, 1, 1 << 28, u))
                return false;
            p.tagFifo = u;
        } else if (key == "tagLinkRate") {
            if (!r.number(v, key, 1e3, 1e11, p.tagLinkRate))
                return false;
        } else if (key == "replay") {
            if (!v.is_array())
                return r.fail("\"replay\" must be an array of file paths, not " + std::string(kindName(v)));
            for (std::size_t i = 0; i < v.size(); ++i) {
                std::string path;
                if (!r.text(v[i], "replay[" + std::to_string(i) + "]", path))
                    return false;
                if (path.empty())
                    return r.fail("\"replay[" + std::to_string(i) + "]\" is an empty path");
                p.replay.push_back(path);
            }
        } else if (key == "replayPacing") {
            std::string pacing;
            if (!r.text(v, key, pacing))
                return false;
            if (pacing == "wall")
                p.replayPacing = ReplayPacing::wall;
            else if (pacing == "fast")
                p.replayPacing = ReplayPacing::fast;
            else
                return r.fail("\"replayPacing\" must be \"wall\" or \"fast\", not \"" + pacing + "\"");
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
            return r.fail("\"pairs[" + std::to_string(i) + "]\" names a channel above " +
                          std::to_string(p.inputs));
    if (!(p.dacMin < p.dacMax))
        return r.fail("\"dacRange\" must run from a lower to a higher voltage, not from " +
                      fmt(p.dacMin) + " to " + fmt(p.dacMax));
    if (p.dacMin > 0)
        return r.fail("\"dacRange\" must reach down to the baseline noise (0 V or below), not " +
                      fmt(p.dacMin));
    for (std::uint32_t c = 1; c <= p.inputs; ++c) {
        const InputShape &s = p.shapes[c - 1];
        const double top = s.heightMean + heightReach * s.heightSigma;
        if (p.dacMax <= top)
            return r.fail("\"dacRange\" must reach above the pulses of input " + std::to_string(c) +
                          " (" + fmt(top) + " V), not stop at " + fmt(p.dacMax));
        if (s.threshold < p.dacMin || s.threshold > p.dacMax)
            return r.fail("\"threshold\" of input " + std::to_string(c) + " (" + fmt(s.threshold) +
                          " V) lies outside \"dacRange\"");
    }
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
