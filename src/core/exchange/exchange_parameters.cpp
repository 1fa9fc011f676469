#include "core/exchange/exchange_parameters.h"

#include <cstring>

const std::vector<ExchangeParameter>& ExchangeParameters()
{
    static const std::vector<ExchangeParameter> parameters = {
        {"FVC", "FVC", "Forced vital capacity", "L", kTestFvc, &ManeuverResult::FVC,
         {"19868-9", "Forced vital capacity [Volume] Respiratory system by Spirometry"},
         {"19876-2", "Forced vital capacity [Volume] Respiratory system by Spirometry --pre bronchodilation"},
         {"19874-7", "Forced vital capacity [Volume] Respiratory system by Spirometry --post bronchodilation"},
         {},
         {"19872-1", "FVC measured/predicted"}},
        {"FEV1", "FEV1", "Forced expiratory volume in 1 second", "L", kTestFvc, &ManeuverResult::FEV1,
         {"20150-9", "FEV1"},
         {"20157-4", "FEV1 --pre bronchodilation"},
         {"20155-8", "FEV1 --post bronchodilation"},
         {"20149-1", "FEV1 Predicted"},
         {"20152-5", "FEV1 measured/predicted"}},
        {"FEV1/FVC", "FEV1-FVC", "FEV1 / FVC", "%", kTestFvc, &ManeuverResult::FEV1_FVC,
         {"19926-5", "FEV1/FVC"},
         {},
         {"69970-2", "FEV1/FVC --post bronchodilation"},
         {"19925-7", "FEV1/FVC Predicted"},
         {}},
        {"PEF", "PEF", "Peak expiratory flow", "L/s", kTestFvc, &ManeuverResult::PEF,
         {"33452-4", "Maximum expiratory gas flow Respiratory system airway"},
         {"69975-1", "Maximum expiratory gas flow Respiratory system airway --pre bronchodilation"},
         {"69976-9", "Maximum expiratory gas flow Respiratory system airway --post bronchodilation"},
         {"69974-4", "Maximum expiratory gas flow Respiratory system airway Predicted"},
         {}},
        {"FEF2575", "FEF2575", "Forced expiratory flow between 25% and 75% of FVC", "L/s", kTestFvc,
         &ManeuverResult::FEF2575,
         {"19927-3", "Gas flow FEV 25%-75%"},
         {"69972-8", "FEF 25-75% --pre bronchodilation"},
         {"69973-6", "FEF 25-75% --post bronchodilation"},
         {"69971-0", "FEF 25-75% Predicted"},
         {}},
        {"FEV6", "FEV6", "Forced expiratory volume in 6 seconds", "L", kTestFvc, &ManeuverResult::FEV6,
         {"65655-3", "FEV6"},
         {},
         {},
         {"65656-1", "FEV6 Predicted"},
         {}},
        {"FET", "FET", "Forced expiratory time", "s", kTestFvc, &ManeuverResult::FET,
         {"65819-5", "Forced expiratory time"},
         {},
         {},
         {},
         {}},
        {"VC", "VC", "Vital capacity (slow)", "L", kTestVc, &ManeuverResult::VC,
         {"19866-3", "Vital capacity [Volume] Respiratory system by Spirometry"},
         {"82615-6", "Vital capacity [Volume] Respiratory system by Spirometry --pre bronchodilation"},
         {"82616-4", "Vital capacity [Volume] Respiratory system by Spirometry --post bronchodilation"},
         {"19865-5", "Vital capacity [Volume] Respiratory system Predicted"},
         {"98088-8", "Vital capacity/predicted VC Respiratory system by Spirometry"}},
        {"MVV", "MVV", "Maximal voluntary ventilation", "L/min", kTestMvv, &ManeuverResult::MVV,
         {}, {}, {}, {}, {}},
    };
    return parameters;
}

const ExchangeParameter* FindExchangeParameter(const char* name)
{
    for (const ExchangeParameter& p : ExchangeParameters())
        if (std::strcmp(p.name, name) == 0)
            return &p;
    return nullptr;
}
