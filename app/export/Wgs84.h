// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

namespace carteva {

// WGS 84 (EPSG:4326) as GDAL writes it, which GDAL and QGIS both read back. Its axes are latitude
// first; the exported files say where they put longitude.
inline constexpr const char *Wgs84Wkt
    = "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563,"
      "AUTHORITY[\"EPSG\",\"7030\"]],AUTHORITY[\"EPSG\",\"6326\"]],"
      "PRIMEM[\"Greenwich\",0,AUTHORITY[\"EPSG\",\"8901\"]],"
      "UNIT[\"degree\",0.0174532925199433,AUTHORITY[\"EPSG\",\"9122\"]],"
      "AXIS[\"Latitude\",NORTH],AXIS[\"Longitude\",EAST],AUTHORITY[\"EPSG\",\"4326\"]]";

} // namespace carteva
