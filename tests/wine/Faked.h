// Every layer reaches the system through a table of function pointers that
// starts out holding the system's own calls. A test stands its calls in for
// some of them for one scope; the table is as it was when the scope ends.
//
//   testing_support::Faked<tray::ShellCalls> shell(tray::Shell());
//   shell->notify = &RecordNotify;
#pragma once

namespace testing_support {

template <class Table>
class Faked {
public:
    explicit Faked(Table& table) : table_(table), saved_(table) {}
    ~Faked() { table_ = saved_; }
    Faked(const Faked&) = delete;
    Faked& operator=(const Faked&) = delete;

    Table* operator->() { return &table_; }
    Table& operator*() { return table_; }

private:
    Table& table_;
    const Table saved_;
};

}  // namespace testing_support
