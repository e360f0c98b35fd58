// sweep_fixture OUT [--rows N] [--seed S]: writes a new Jet 4 database
// (Korean sort order) for the sweeps to work on, as the crash tests need
// one: two tables keyed by an ID, with text, memo, number, date and Yes/No
// columns, indexes over texts and numbers, a fifth of the values Null and a
// fifth of the texts with spaces at an end, so that both sweeps change most
// pages. N rows in the first table (default 20000, about 6 MB), a third as
// many in the second.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "jet/base/error.h"
#include "jet/database/database.h"
#include "jet/database/database_builder.h"
#include "jet/database/table.h"
#include "jet/database/table_builder.h"

namespace {

using jet::ColumnType;
using jet::Value;

class Maker {
 public:
  explicit Maker(uint32_t seed) : rng_(seed) {}

  int Uniform(int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(rng_);
  }
  bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }

  std::string Word(int chars) {
    static const char* kSyllables[] = {"가", "나", "다", "라", "마", "바",
                                       "사", "아", "자", "차", "카", "타",
                                       "파", "하", "김", "이", "박", "최"};
    std::string s;
    for (int i = 0; i < chars; ++i) {
      s += Chance(0.3) ? std::string(1, static_cast<char>('a' + Uniform(0, 25)))
                       : kSyllables[Uniform(0, 17)];
    }
    return s;
  }
  Value Text(int chars) {
    if (Chance(0.2)) return jet::Null{};
    std::string s = Word(chars);
    if (Chance(0.2)) {
      const int where = Uniform(0, 2);
      if (where != 1) s = std::string(Uniform(1, 3), ' ') + s;
      if (where != 0) s += std::string(Uniform(1, 3), ' ');
    }
    return s;
  }
  Value Maybe(Value v) { return Chance(0.2) ? Value(jet::Null{}) : v; }

 private:
  std::mt19937 rng_;
};

jet::TableDescription Clients() {
  jet::TableDescription t;
  t.name = "거래처";
  t.columns = {{.name = "ID", .type = ColumnType::kLong},
               {.name = "상호", .type = ColumnType::kText, .length = 40},
               {.name = "Code", .type = ColumnType::kText, .length = 20},
               {.name = "메모", .type = ColumnType::kMemo},
               {.name = "한도", .type = ColumnType::kCurrency},
               {.name = "등록일", .type = ColumnType::kDateTime},
               {.name = "활성", .type = ColumnType::kBoolean}};
  t.indexes = {{.name = "PrimaryKey", .columns = {{"ID"}}, .primary_key = true},
               {.name = "상호", .columns = {{"상호"}}},
               {.name = "Code등록일", .columns = {{"Code"}, {"등록일", false}}}};
  return t;
}

jet::TableDescription Orders() {
  jet::TableDescription t;
  t.name = "Orders";
  t.columns = {{.name = "ID", .type = ColumnType::kLong},
               {.name = "Item", .type = ColumnType::kText, .length = 60},
               {.name = "Qty", .type = ColumnType::kInteger},
               {.name = "Note", .type = ColumnType::kMemo}};
  t.indexes = {{.name = "PrimaryKey", .columns = {{"ID"}}, .primary_key = true},
               {.name = "Item", .columns = {{"Item"}}},
               {.name = "Qty", .columns = {{"Qty"}}}};
  return t;
}

int Usage() {
  std::fputs("usage: sweep_fixture OUT [--rows N] [--seed S]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string out = argv[1];
  int rows = 20000;
  uint32_t seed = 1;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--rows" && i + 1 < argc) {
      rows = std::atoi(argv[++i]);
    } else if (arg == "--seed" && i + 1 < argc) {
      seed = static_cast<uint32_t>(std::atoi(argv[++i]));
    } else {
      return Usage();
    }
  }
  try {
    jet::CreateOptions create;
    create.sort_order = jet::sort_orders::kKorean;
    jet::CreateDatabase(out, create);
    jet::OpenOptions open;
    open.writable = true;
    auto db = jet::Database::Open(out, open);
    Maker make(seed);
    {
      auto clients = jet::CreateTable(*db, Clients());
      std::vector<std::vector<Value>> batch;
      for (int32_t id = 1; id <= rows; ++id) {
        batch.push_back(
            {id, make.Text(make.Uniform(2, 12)), make.Text(6),
             make.Text(make.Uniform(0, 3) == 0 ? make.Uniform(100, 900)
                                               : make.Uniform(2, 40)),
             make.Maybe(jet::Currency{int64_t{make.Uniform(0, 99999)} * 100}),
             make.Maybe(jet::DateTime{40000.0 + make.Uniform(0, 4000)}),
             make.Chance(0.5)});
      }
      jet::InsertRows(*db, *clients, batch);
    }
    {
      auto orders = jet::CreateTable(*db, Orders());
      std::vector<std::vector<Value>> batch;
      for (int32_t id = 1; id <= rows / 3; ++id) {
        batch.push_back({id, make.Text(make.Uniform(3, 20)),
                         make.Maybe(static_cast<int16_t>(make.Uniform(1, 99))),
                         make.Text(make.Uniform(5, 60))});
      }
      jet::InsertRows(*db, *orders, batch);
    }
    db->Close();
  } catch (const jet::Error& e) {
    std::fprintf(stderr, "sweep_fixture: %d %s\n", e.number(),
                 e.description());
    return 1;
  }
  return 0;
}
