#include <benchmark/benchmark.h>

#include <QApplication>
#include <random>

#include "controls/EditableListCtrl.h"

namespace {

void FillList(CEditableListCtrl& list, int count)
{
    std::mt19937 random(42);
    for (int row = 0; row < count; ++row) {
        list.InsertItem(row, QStringLiteral("entry %1").arg(random() % 100000));
        list.SetItemText(row, 1, QString::number(random() % 1000000));
        list.SetItemBkColor(row, 0, MakeColorRef(195, 213, 253), true);
        list.SetItemUserData(row, static_cast<std::uintptr_t>(row));
    }
}

CEditableListCtrl* MakeList()
{
    auto* list = new CEditableListCtrl;
    list->InsertColumn(0, QStringLiteral("Caption"), COLUMN_LEFT, 100);
    list->InsertColumn(1, QStringLiteral("Data"), COLUMN_LEFT, 200);
    list->resize(400, 600);
    list->show();
    return list;
}

// A header click on a column of 10,000 rows: every click reverses the order.
void BM_ListSortByColumn(benchmark::State& state, int column)
{
    CEditableListCtrl* list = MakeList();
    FillList(*list, static_cast<int>(state.range(0)));
    bool ascending = true;
    for (auto _ : state) {
        list->SortByColumn(column, ascending);
        ascending = !ascending;
        QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    delete list;
}

void BM_ListSortNumbers(benchmark::State& state) { BM_ListSortByColumn(state, 1); }

// A column of dates: each text is read once per sort by the date parser.
void BM_ListSortDates(benchmark::State& state)
{
    CEditableListCtrl* list = MakeList();
    const int count = static_cast<int>(state.range(0));
    FillList(*list, count);
    std::mt19937 random(7);
    for (int row = 0; row < count; ++row) {
        list->SetItemText(row, 1, QStringLiteral("%1-%2-%3 %4:%5").arg(2000 + random() % 25).arg(1 + random() % 12)
            .arg(1 + random() % 28).arg(random() % 24).arg(random() % 60, 2, 10, QLatin1Char('0')));
    }
    bool ascending = true;
    for (auto _ : state) {
        list->SortByColumn(1, ascending);
        ascending = !ascending;
    }
    state.SetItemsProcessed(state.iterations() * count);
    delete list;
}
void BM_ListSortCaptions(benchmark::State& state) { BM_ListSortByColumn(state, 0); }

// Rebuilding a shown list as the send-list panel does, then deleting every row.
void BM_ListFillAndClear(benchmark::State& state)
{
    CEditableListCtrl* list = MakeList();
    for (auto _ : state) {
        FillList(*list, static_cast<int>(state.range(0)));
        QApplication::processEvents();
        list->DeleteItems(ITEM_ANY);
        QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    delete list;
}

} // namespace

BENCHMARK(BM_ListSortNumbers)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListSortDates)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListSortCaptions)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFillAndClear)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
