#pragma once
// Taking a worklist order: the patient is selected or created under the same
// rules as a GDT request (StoreGdtRequest: the number selects, and name, birth
// date and sex must agree, otherwise the order is refused naming both), and
// the accession number is kept in the order book for the order's day.
#include "core/exchange/gdt_exchange.h"
#include "core/hospital/order_book.h"
#include "core/hospital/worklist_query.h"

class Database;

GdtStore TakeWorklistOrder(Database& db, const WorklistOrder& order, const OrderBook& book,
                           GdtImport& result, QString* error = nullptr);
