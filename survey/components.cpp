#include "survey/components.h"

const ComponentInfo kComponents[3] = {
    {ComponentKind::professional, "SOFTWARE\\Veltris5", "Componente Profissional"},
    {ComponentKind::publicComponent, "SOFTWARE\\Veltris5\\Publico", "Componente Pública"},
    {ComponentKind::administration, "SOFTWARE\\Veltris5\\Administracao", "Módulo de Administração"},
};

const char kTargetVersion[] = "1.6.08";
const char kUpdatableSeries[] = "1.6.";
