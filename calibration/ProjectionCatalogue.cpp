// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/ProjectionCatalogue.h"

#include <proj.h>

namespace carteva {

bool CatalogueEntry::Holds(const LongitudeSpan &span, double margin) const
{
    if (!HasArea)
        return true;
    if (span.South < South - margin || span.North > North + margin)
        return false;
    const double west = West - margin;
    double east = East < West ? East + 360 : East;
    east += margin;
    if (east - west >= 360)
        return true;
    for (const double turn : {-360.0, 0.0, 360.0}) {
        if (span.West + turn >= west && span.East + turn <= east)
            return true;
    }
    return false;
}

std::vector<CatalogueEntry> ProjectionCatalogue::Read()
{
    std::vector<CatalogueEntry> entries;
    PJ_CONTEXT *context = proj_context_create();
    if (!context)
        return entries;
    proj_log_level(context, PJ_LOG_NONE);
    PROJ_CRS_LIST_PARAMETERS *parameters = proj_get_crs_list_parameters_create();
    const PJ_TYPE types[] = {PJ_TYPE_PROJECTED_CRS, PJ_TYPE_GEOGRAPHIC_2D_CRS};
    parameters->types = types;
    parameters->typesCount = 2;
    parameters->celestial_body_name = "Earth";
    int count = 0;
    PROJ_CRS_INFO **list = proj_get_crs_info_list_from_database(context, nullptr, parameters,
                                                                &count);
    proj_get_crs_list_parameters_destroy(parameters);
    const auto text = [](const char *value) { return std::string(value ? value : ""); };
    if (list) {
        entries.reserve(std::size_t(count));
        for (int i = 0; i < count; ++i) {
            const PROJ_CRS_INFO &info = *list[i];
            if (info.deprecated)
                continue;
            CatalogueEntry entry;
            entry.Code = text(info.auth_name) + ":" + text(info.code);
            entry.Name = text(info.name);
            entry.Method = text(info.projection_method_name);
            entry.AreaName = text(info.area_name);
            entry.Geographic = info.type == PJ_TYPE_GEOGRAPHIC_2D_CRS;
            entry.HasArea = info.bbox_valid != 0;
            if (entry.HasArea) {
                entry.West = info.west_lon_degree;
                entry.South = info.south_lat_degree;
                entry.East = info.east_lon_degree;
                entry.North = info.north_lat_degree;
            }
            entries.push_back(std::move(entry));
        }
        proj_crs_info_list_destroy(list);
    }
    proj_context_destroy(context);
    return entries;
}

} // namespace carteva
